#pragma once

#include "bearing_time_plot.h"
#include "file_chooser.h"
#include "session.h"

#include <QObject>
#include <QPointF>
#include <chrono>
#include <functional>
#include <string>

class QAction;
class QActionGroup;
class QMenu;
class QWidget;

// Continuous scanning as the window shows it: its entries in the surface's
// menu (on and off, the row period, recording), the bearing-time display
// below the window's layout, and the rows handed from the session's
// analysing thread to the window's, where they are shown.
class FollowControls final : public QObject, private Session::Observer {
public:
    // What the window does for the mode.
    struct Window {
        // The commands that wait while the mode runs.
        std::function<void(bool enabled)> enableCommands;
        // Shows the newest row in the bars and the result line, with a note,
        // and holds it as the last analysis.
        std::function<void(Follower::Row row, const std::string& note)> showRow;
        // Adds a note to the result line.
        std::function<void(const std::string& note)> addNote;
        // The pointer over the display, in the window's pixels.
        std::function<void(QPointF pixels)> pointerMoved;
    };

    // The entries go into menu, the display into window; the session's
    // choices are remembered as they change.
    FollowControls(QWidget& window, QMenu& menu, Session& session, FileChooser& chooser,
                   Window shown);
    ~FollowControls() override;
    FollowControls(const FollowControls&) = delete;
    FollowControls& operator=(const FollowControls&) = delete;

    // The mode can start once the session has sources to follow.
    void enable();
    void setFollowing(bool on);
    void setRowPeriod(std::chrono::milliseconds period);
    void record(const QString& path);
    const BearingTimePlot* bearingTime() const { return bearingTime_; }
    // Shows the rows that have come, as the window's next frame does.
    void showRows();

private:
    void stop();
    void ended(const Follower::End& end);
    void showBearingTime();
    void chooseRecording(bool on);
    // Session::Observer, on the analysing thread: handed to the window's.
    void rowsWaiting() override;
    void followingEnded(const Follower::End& end) override;

    QWidget& window_;
    Session& session_;
    FileChooser& chooser_;
    Window shown_;
    QAction* follow_ = nullptr;
    QAction* record_ = nullptr;
    QActionGroup* periods_ = nullptr;
    BearingTimePlot* bearingTime_ = nullptr;
};
