// Word Maze, the sample game client, on Qt: the window around the play that
// wordmaze_play.h makes with the console, in the order a game client makes it.
//
// The console starts the game with no arguments, so the test switches come
// from the environment:
//   KX_WORDMAZE_AUTO_SCORE=N    play by itself for about two seconds, score N
//   KX_WORDMAZE_AUTO_SECONDS=S  with the above: take S seconds instead
//   KX_WORDMAZE_FINAL_SECONDS=S keep the final score up S seconds
//   KX_WORDMAZE_SKIP_ENDGAME=1  exit without EndGame (an abnormal end)
//   KX_WORDMAZE_ENDGAME_TWICE=1 call EndGame again and print its result code

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>

#include "word_grid.h"
#include "wordmaze_play.h"
#include "wordmaze_window.h"

namespace {

// A modal box would wait forever for a player who is not there, so the
// automatic mode only prints.
int Fail(const wordmaze::Options& options, const std::string& text, int exit_code) {
    wordmaze::Report(text);
    if (!options.autoScore) {
        QMessageBox::critical(nullptr, QStringLiteral("Word Maze"), QString::fromStdString(text));
    }
    return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const wordmaze::Options options = wordmaze::OptionsFromEnvironment();

    std::string failure;
    int exit_code = 0;
    std::optional<wordmaze::ConsolePlay> play = wordmaze::ConsolePlay::Open(&failure, &exit_code);
    if (!play) return Fail(options, failure, exit_code);

    const wordmaze::PlaySetup setup = play->ReadSetup();
    wordmaze::Round round(wordmaze::GridFor(setup));
    wordmaze::WordMazeWindow window(
        round, setup.seconds, QString::fromStdString(wordmaze::HeaderText(setup.info)),
        options.autoScore ? wordmaze::PlayMode::Automatic : wordmaze::PlayMode::Player,
        options.autoStepMs);

    window.onFinished = [&] {
        const wordmaze::Outcome outcome = play->HandOver(setup, round, options);
        exit_code = outcome.exitCode;
        window.ShowFinal(QString::fromStdString(wordmaze::FinalText(outcome.score)));
        QTimer::singleShot(options.finalMs, &app, &QCoreApplication::quit);
    };
    window.show();
    // The console hides its own window while a game runs; the player's
    // typing belongs to the game from the start.
    window.raise();
    window.activateWindow();
    app.exec();
    // The services object is released here, before the process ends.
    play->Close();
    return exit_code;
}
