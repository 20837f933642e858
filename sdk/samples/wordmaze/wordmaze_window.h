#pragma once

// Word Maze's window: the letter grid, the countdown, the word entry and the
// words found. It knows nothing of the console; the program's main hands the
// finished round to the SDK.
//
// Implements:
//  - the round on Qt widgets, ended by the countdown or by closing the window;
//  - the automatic player for tests, which types the grid's words itself.

#include <QWidget>

#include <functional>
#include <optional>

#include "word_grid.h"
#include "wordmaze_play.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;

namespace wordmaze {

enum class PlayMode { Player, Automatic };

class WordMazeWindow final : public QWidget {
public:
    WordMazeWindow(Round& round, int seconds, const QString& header, PlayMode mode,
                   int auto_step_ms = kAutoStepMs);

    // Called once, when the round ends for any reason.
    std::function<void()> onFinished;

    // Shows the final line of the round in the status line.
    void ShowFinal(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Submit();
    void Tick();
    void AutoStep();
    void Finish();

    Round& round_;
    int secondsLeft_;
    PlayMode mode_;
    bool finished_ = false;
    std::optional<AutoPlayer> autoPlayerSteps_;

    QLabel* time_ = nullptr;
    QLabel* score_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* entry_ = nullptr;
    QListWidget* words_ = nullptr;
    QTimer* countdown_ = nullptr;
    QTimer* autoPlayer_ = nullptr;
};

}  // namespace wordmaze
