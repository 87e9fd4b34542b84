#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

class QEvent;
class QWidget;

// The operator's input to a window that waited in the queue while the window
// was busy. A message box would take it and drop it; held back here, it is
// delivered once the box has closed, as it would have been without the box.
class DeferredInput final : public QObject {
public:
    // Takes the clicks and keys queued for window, and lets every other
    // event through.
    explicit DeferredInput(QWidget& window);
    DeferredInput(const DeferredInput&) = delete;
    DeferredInput& operator=(const DeferredInput&) = delete;
    ~DeferredInput() override;

    // Queues what was held, in its order, for the window's next events.
    void deliver();

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    QWidget& window_;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};
