#include "follow_controls.h"

#include "operator_error_box.h"
#include "plot_geometry.h"
#include "result_text.h"
#include "twips.h"
#include "window_settings.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QScreen>
#include <QWidget>
#include <algorithm>

FollowControls::FollowControls(QWidget& window, QMenu& menu, Session& session, FileChooser& chooser,
                               Window shown)
    : window_(window), session_(session), chooser_(chooser), shown_(std::move(shown)) {
    session_.setObserver(this);
    menu.addSeparator();
    follow_ = menu.addAction(QStringLiteral("Scansione continua"));
    follow_->setCheckable(true);
    follow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    follow_->setEnabled(false);
    window_.addAction(follow_);
    connect(follow_, &QAction::toggled, this, &FollowControls::setFollowing);
    auto* stopKey = new QAction(this);
    stopKey->setShortcut(Qt::Key_Escape);
    connect(stopKey, &QAction::triggered, this, [this] { setFollowing(false); });
    window_.addAction(stopKey);

    QMenu* periods = menu.addMenu(QStringLiteral("Periodo delle righe"));
    periods_ = new QActionGroup(periods);
    for (const int millis : {50, 100, 200, 500, 1000, 2000}) {
        const std::chrono::milliseconds period(millis);
        QAction* choice =
            periods->addAction(QLocale().toString(millis / 1000.0, 'g', 3) + QStringLiteral(" s"));
        choice->setCheckable(true);
        choice->setData(millis);
        periods_->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, period] {
            setRowPeriod(period);
            WindowSettings::saveRowPeriod(period);
        });
    }
    setRowPeriod(session_.choices().rowPeriod);
    record_ = menu.addAction(QStringLiteral("Registra\u2026"));
    record_->setCheckable(true);
    record_->setEnabled(false);
    connect(record_, &QAction::triggered, this, &FollowControls::chooseRecording);
}

// No row is handed over once the session has let go of this.
FollowControls::~FollowControls() {
    session_.setObserver(nullptr);
}

void FollowControls::enable() {
    follow_->setEnabled(true);
}

void FollowControls::setRowPeriod(std::chrono::milliseconds period) {
    session_.setRowPeriod(period);
    for (QAction* choice : periods_->actions()) {
        choice->setChecked(choice->data().toInt() == period.count());
    }
}

// The stream of the source chosen, or the file held, and the rows it gives,
// until stopped.
void FollowControls::setFollowing(bool on) {
    if (on && !session_.following() && session_.sourcesOffered()) {
        try {
            session_.startFollowing();
            shown_.enableCommands(false);
            showBearingTime();
            bearingTime_->setPeriod(session_.period());
            record_->setEnabled(true);
        } catch (const OperatorError& error) {
            showOperatorError(&window_, QStringLiteral("Scansione continua non riuscita"), error);
        }
    } else if (!on && session_.following()) {
        stop();
    }
    const QSignalBlocker quiet(follow_);
    follow_->setChecked(session_.following());
}

// The window is the operator's again at once; the stream ends on its own
// threads, and its device is let go shortly after.
void FollowControls::stop() {
    session_.stopFollowing();
    record_->setChecked(false);
    record_->setEnabled(false);
    shown_.enableCommands(true);
}

void FollowControls::rowsWaiting() {
    QMetaObject::invokeMethod(this, &FollowControls::showRows, Qt::QueuedConnection);
}

void FollowControls::followingEnded(const Follower::End& end) {
    QMetaObject::invokeMethod(
        this, [this, end] { ended(end); }, Qt::QueuedConnection);
}

void FollowControls::ended(const Follower::End& end) {
    showRows();
    setFollowing(false);
    if (end.fault) {
        showOperatorError(&window_, QStringLiteral("Scansione continua interrotta"), *end.fault);
    } else if (end.reachedEnd) {
        shown_.addNote(replayEndedText());
    }
}

// Below the window's layout, once the mode has run, as tall as the screen
// allows up to a pixel a row.
void FollowControls::showBearingTime() {
    if (bearingTime_ != nullptr) {
        return;
    }
    const auto columnEdge = [](Side side) {
        const double half =
            (PlotGeometry::barX(Side::Right, 1) - PlotGeometry::barX(Side::Right, 0)) / 2.0;
        return (PlotGeometry::barX(side, kMaxLag) + (side == Side::Left ? -half : half)) /
               Twips::kPerPixel;
    };
    bearingTime_ = new BearingTimePlot(&window_, columnEdge(Side::Left), columnEdge(Side::Right));
    bearingTime_->pointerMoved = shown_.pointerMoved;
    const int top = window_.height();
    const QRect screenArea = window_.screen()->availableGeometry();
    const int frame = window_.frameGeometry().height() - window_.geometry().height();
    const int room = screenArea.height() - frame - top - 8;
    const int panel = std::clamp(room, 60, BearingTimePlot::kRows);
    bearingTime_->setGeometry(0, top, window_.width(), panel);
    bearingTime_->show();
    window_.resize(window_.width(), top + panel + 8);
}

void FollowControls::showRows() {
    std::vector<Follower::Row> rows = session_.takeRows();
    if (rows.empty() || bearingTime_ == nullptr) {
        return;
    }
    for (const Follower::Row& row : rows) {
        bearingTime_->addLine(BearingTimePlot::lineOf(row));
    }
    bearingTime_->setScale(rows.back().result.sampleRate, rows.back().result.geometry);
    std::string note = lostWindowsText(rows.back().lost);
    if (session_.periodRaised()) {
        note += (note.empty() ? "" : " ") + raisedPeriodText(session_.period());
    }
    shown_.showRow(std::move(rows.back()), note);
    if (const auto failure = session_.recordingFailure()) {
        record_->setChecked(false);
        showOperatorError(&window_, QStringLiteral("Registrazione interrotta"), *failure);
    }
}

void FollowControls::chooseRecording(bool on) {
    session_.stopRecording();
    if (!on) {
        return;
    }
    const QString path = chooser_.toSave(&window_, QStringLiteral("Registra le righe"),
                                         FileChooser::kCsv, QStringLiteral("csv"), true);
    if (path.isEmpty()) {
        record_->setChecked(false);
        return;
    }
    record(path);
}

void FollowControls::record(const QString& path) {
    try {
        session_.record(QFile::encodeName(path).toStdString());
        record_->setChecked(true);
    } catch (const OperatorError& error) {
        record_->setChecked(false);
        showOperatorError(&window_, QStringLiteral("Registrazione non riuscita"), error);
    }
}
