#pragma once

#include "capture_options.h"
#include "capture_sources.h"
#include "found_analyser.h"

#include <QDialog>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Where the window's scans come from, in the manner of PulseView's "Connect
// to Device": the parallel port, or a logic analyser found by its driver,
// with the receivers' channels and the rate. Looking for analysers runs on
// the capture worker, so that a device that hangs costs a message.
class SourceDialog final : public QDialog {
public:
    // Opens on current: an analyser, or the port (nothing).
    SourceDialog(CaptureSources& sources, const std::optional<CaptureOptions::Analyser>& current,
                 QWidget* parent = nullptr);

    // What the operator chose: valid once the dialog is accepted.
    std::optional<CaptureOptions::Analyser> choice() const;

    // Looks for the chosen driver's devices, as the "Cerca" button does.
    void search();

private:
    void createControls();
    void showAnalysers(const std::vector<FoundAnalyser>& found);
    void showDevice();
    void check();
    std::optional<std::uint64_t> rate() const;
    const FoundAnalyser* device() const;
    CaptureOptions::DeviceSpec where() const;

    CaptureSources& sources_;
    std::vector<FoundAnalyser> found_;

    QRadioButton* port_ = nullptr;
    QRadioButton* analyser_ = nullptr;
    QComboBox* driver_ = nullptr;
    QLineEdit* connection_ = nullptr;
    QPushButton* search_ = nullptr;
    QComboBox* device_ = nullptr;
    QComboBox* right_ = nullptr;
    QComboBox* left_ = nullptr;
    QComboBox* rate_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* ok_ = nullptr;
};
