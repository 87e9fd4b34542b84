#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

class QEvent;
class QWidget;

// The operator's clicks and keys on a window that is busy, held back until
// it is free again: after a scan, and after the message of one that failed,
// which would otherwise take them and drop them.
class DeferredInput final : public QObject {
public:
    // Holds the clicks and keys meant for window from now on, shortcuts'
    // keys too, drops its wheel turns, and lets every other event through.
    explicit DeferredInput(QWidget& window);
    DeferredInput(const DeferredInput&) = delete;
    DeferredInput& operator=(const DeferredInput&) = delete;
    ~DeferredInput() override;

    // Takes in what the window system has queued meanwhile.
    void collect();
    // Stops holding, and queues what was held, in its order, for the
    // window's next events.
    void deliver();

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    QWidget& window_;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};
