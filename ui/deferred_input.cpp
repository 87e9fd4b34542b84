#include "deferred_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {

// What a message box would drop; the pointer's moves go on as they are.
bool isClickOrKey(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return true;
    default:
        return false;
    }
}

// The event as it stands now, for the widget it was meant for: a click on
// the platform window goes to the widget under it, as Qt would have sent it,
// with its place on the screen as it now is.
std::pair<QObject*, QEvent*> renewed(QObject& receiver, QWidget& window, const QEvent& event) {
    if (event.type() == QEvent::KeyPress || event.type() == QEvent::KeyRelease) {
        return {&receiver, event.clone()};
    }
    const auto& mouse = static_cast<const QMouseEvent&>(event);
    auto* widget = qobject_cast<QWidget*>(&receiver);
    QPointF position = mouse.position();
    if (widget == nullptr) {
        widget = window.childAt(position.toPoint());
        widget = widget != nullptr ? widget : &window;
        position = widget->mapFrom(&window, position);
    }
    return {widget, new QMouseEvent(mouse.type(), position, widget->mapToGlobal(position),
                                    mouse.button(), mouse.buttons(), mouse.modifiers())};
}

} // namespace

DeferredInput::DeferredInput(QWidget& window) : window_(window) {
    QApplication::instance()->installEventFilter(this);
}

DeferredInput::~DeferredInput() {
    QApplication::instance()->removeEventFilter(this);
}

void DeferredInput::collect() {
    QApplication::processEvents();
}

// After the events that closing a box brings, such as focus going back to
// the window, which would otherwise come between a press and its release.
void DeferredInput::deliver() {
    QApplication::instance()->removeEventFilter(this);
    QApplication::processEvents();
    for (auto& [receiver, event] : held_) {
        if (receiver) {
            const auto [target, renewal] = renewed(*receiver, window_, *event);
            QApplication::postEvent(target, renewal);
        }
    }
    held_.clear();
}

// Input reaches the window's platform window first, then its widgets.
bool DeferredInput::eventFilter(QObject* receiver, QEvent* event) {
    const auto* widget = qobject_cast<QWidget*>(receiver);
    const bool ours =
        receiver == window_.windowHandle() || (widget != nullptr && widget->window() == &window_);
    // A turn of the wheel is dropped: taken later, it would move the slider
    // from where the operator no longer sees it.
    if (ours && event->type() == QEvent::Wheel) {
        return true;
    }
    // Taken as overridden, a shortcut's keys come as a key press, held like
    // any other, instead of triggering it meanwhile.
    if (ours && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!ours || !isClickOrKey(event->type())) {
        return false;
    }
    held_.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
    return true;
}
