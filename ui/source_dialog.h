#pragma once

#include "capture_options.h"
#include "capture_sources.h"
#include "found_analyser.h"
#include "instrument_constants.h"

#include <QDialog>
#include <cstdint>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// Where the window's scans come from, in the manner of PulseView's "Connect
// to Device": the parallel port, a logic analyser found by its driver, with
// the receivers' channels and the rate, or the simulator, with its sweep
// and rate. Looking for analysers runs on the capture worker, so that a
// device that hangs costs a message.
class SourceDialog final : public QDialog {
public:
    // The simulator's sweeps, in seconds, and its rates.
    static constexpr int kShortestSweep = 1;
    static constexpr int kLongestSweep = 600;
    static constexpr int kSweep = 10;
    static constexpr std::uint64_t kSimulatorRates[] = {kPortRate, 200'000, 1'000'000};

    // Opens on current.
    SourceDialog(CaptureSources& sources, const CaptureOptions::Source& current,
                 QWidget* parent = nullptr);

    // What the operator chose: valid once the dialog is accepted. The
    // simulator's lags are left at 0: the window sets them.
    CaptureOptions::Source choice() const;

    // Looks for the chosen driver's devices, as the "Cerca" button does.
    void search();

private:
    void createControls();
    QWidget* createAnalyserFields();
    QWidget* createSimulatorFields();
    void showAnalyser(const CaptureOptions::Analyser& current);
    void showSimulation(const CaptureOptions::Simulation& current);
    std::uint64_t scanRate() const;
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
    QRadioButton* simulator_ = nullptr;
    QComboBox* driver_ = nullptr;
    QLineEdit* connection_ = nullptr;
    QPushButton* search_ = nullptr;
    QComboBox* device_ = nullptr;
    QComboBox* right_ = nullptr;
    QComboBox* left_ = nullptr;
    QComboBox* rate_ = nullptr;
    QSpinBox* sweep_ = nullptr;
    QComboBox* simulatorRate_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* ok_ = nullptr;
};
