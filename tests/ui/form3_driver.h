#pragma once

#include "caption_button.h"
#include "fake_capture_files.h"
#include "fake_port_io.h"
#include "form3.h"
#include "parallel_port_scan.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <memory>

// Keeps the window's choices in folder, away from the user's own.
inline void keepSettingsIn(const QString& folder) {
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

// The colours the coloured buttons take.
inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);
inline QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// Drives a Form3 as the operator would, from inside the process, with a fake
// port and an unpaced scan, and captures kept in memory.
struct Form3Driver {
    Form3Driver() : form(std::make_unique<Form3>(scan, files)) { form->show(); }

    template <typename T = QWidget> T* control(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QLabel* label(const char* name) const { return control<QLabel>(name); }
    QScrollBar* slider() const { return control<QScrollBar>("HScroll1"); }
    // The colour a button is marked with, or the button face.
    QColor colourOf(const char* buttonName) const {
        const QColor mark = dynamic_cast<CaptionButton*>(button(buttonName))->mark();
        return mark.isValid() ? mark : buttonFace();
    }
    QString readout() const { return label("Label1")->text(); }

    // A pointer move without buttons, delivered to the window as the platform
    // delivers it, so that it reaches whichever widget lies under the pointer.
    void moveTo(QPointF pixels) const {
        QMouseEvent move(QEvent::MouseMove, pixels, form->mapToGlobal(pixels), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->windowHandle(), &move);
    }

    // Runs the action and answers the message box it opens, returning the
    // box's text (empty when none opened).
    static QString answeringMessageBox(const std::function<void()>& action) {
        QString text;
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
        closer.start();
        action();
        return text;
    }

    FakePortIo fakePort;
    FakePortIo* port = &fakePort;
    std::shared_ptr<ParallelPortScan> scan =
        std::make_shared<ParallelPortScan>(fakePort, std::chrono::nanoseconds(0));
    FakeCaptureFiles files;
    std::unique_ptr<Form3> form;
};
