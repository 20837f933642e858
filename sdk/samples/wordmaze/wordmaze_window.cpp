#include "wordmaze_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace wordmaze {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

WordMazeWindow::WordMazeWindow(Round& round, int seconds, const QString& header, PlayMode mode,
                               int auto_step_ms)
    : round_(round), secondsLeft_(seconds), mode_(mode) {
    setWindowTitle(QStringLiteral("Word Maze"));

    auto* layout = new QVBoxLayout(this);
    auto* headerLabel = new QLabel(header, this);
    layout->addWidget(headerLabel);

    auto* top = new QHBoxLayout;
    time_ = new QLabel(this);
    score_ = new QLabel(this);
    top->addWidget(time_);
    top->addStretch();
    top->addWidget(score_);
    layout->addLayout(top);

    auto* grid = new QGridLayout;
    QFont cellFont = font();
    cellFont.setPointSize(cellFont.pointSize() * 2);
    cellFont.setBold(true);
    const Grid& letters = round_.GetGrid();
    for (int row = 0; row < letters.Size(); ++row) {
        for (int column = 0; column < letters.Size(); ++column) {
            auto* cell = new QLabel(QString(QChar(letters.At(row, column))), this);
            cell->setFont(cellFont);
            cell->setAlignment(Qt::AlignCenter);
            cell->setFrameShape(QFrame::Box);
            cell->setMinimumSize(44, 44);
            grid->addWidget(cell, row, column);
        }
    }
    layout->addLayout(grid);

    entry_ = new QLineEdit(this);
    entry_->setPlaceholderText(QStringLiteral("Type a word and press Enter"));
    layout->addWidget(entry_);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    words_ = new QListWidget(this);
    layout->addWidget(words_);

    connect(entry_, &QLineEdit::returnPressed, this, [this] { Submit(); });
    countdown_ = new QTimer(this);
    connect(countdown_, &QTimer::timeout, this, [this] { Tick(); });
    countdown_->start(kTickMs);
    if (mode_ == PlayMode::Automatic) {
        autoPlayerSteps_.emplace(round_.GetGrid());
        autoPlayer_ = new QTimer(this);
        connect(autoPlayer_, &QTimer::timeout, this, [this] { AutoStep(); });
        autoPlayer_->start(auto_step_ms);
    }
    time_->setText(Text(TimeText(secondsLeft_)));
    score_->setText(Text(ScoreText(0)));
    entry_->setFocus();
}

void WordMazeWindow::ShowFinal(const QString& text) { status_->setText(text); }

void WordMazeWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends the round with the words found so far.
    Finish();
    event->accept();
}

void WordMazeWindow::Submit() {
    if (finished_) return;
    const QString typed = entry_->text().trimmed();
    entry_->clear();
    if (typed.isEmpty()) return;
    const Verdict verdict = round_.Try(typed.toStdString());
    status_->setText(Text(VerdictText(verdict)));
    if (verdict == Verdict::Accepted) words_->addItem(typed.toUpper());
    score_->setText(Text(ScoreText(round_.Score())));
}

void WordMazeWindow::Tick() {
    if (finished_) return;
    secondsLeft_ = std::max(0, secondsLeft_ - 1);
    time_->setText(Text(TimeText(secondsLeft_)));
    if (secondsLeft_ == 0) Finish();
}

void WordMazeWindow::AutoStep() {
    if (finished_ || !autoPlayerSteps_) return;
    if (autoPlayerSteps_->Done()) {
        Finish();
        return;
    }
    if (const std::optional<std::string> word = autoPlayerSteps_->Next()) {
        entry_->setText(Text(*word));
        Submit();
    }
}

void WordMazeWindow::Finish() {
    if (finished_) return;
    finished_ = true;
    countdown_->stop();
    if (autoPlayer_ != nullptr) autoPlayer_->stop();
    entry_->setEnabled(false);
    if (onFinished) onFinished();
}

}  // namespace wordmaze
