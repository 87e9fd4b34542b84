#pragma once

#include "capture_source.h"
#include "correlogram_plot.h"
#include "noise_source_simulator.h"
#include "sample_store.h"
#include "twister_random.h"

#include <QWidget>
#include <memory>
#include <optional>

class CaptionButton;
class QLabel;
class QScrollBar;

// The instrument's only window: the correlogram plot on its surface, the
// command buttons, the slider of the simulated delay and the two readouts.
// It owns the sample store for the whole run. Each handler runs to its end on
// the window's thread before the next event is taken.
class Form3 final : public QWidget {
public:
    // Scans come from source, which outlives the window.
    explicit Form3(CaptureSource& source);
    ~Form3() override;

    const SampleStore& store() const { return *store_; }
    const CorrelogramPlot& plot() const { return plot_; }

    // Scan the receivers, from whatever source the program was started with.
    void Command1_Click();
    // Analyse whatever the channels hold, drawing each lag as it is done.
    void command2_click();
    // Simulate a source on the left or on the right at the slider's delay.
    void Command3_Click();
    void Command4_Click();
    // Show the slider's value.
    void HScroll1_Change();
    // Show the lag under the pointer; x and y in twips, only x matters.
    void form_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createControls();
    void createBanner();
    void createReadouts();
    void createCommands();
    void createSlider();
    void paintDecorations(QPainter& painter) const;
    void simulate(Side side);
    void showMarks();

    std::unique_ptr<SampleStore> store_;
    CaptureSource& source_;
    TwisterRandom random_;
    NoiseSourceSimulator simulator_{random_};
    CorrelogramPlot plot_{*this};

    // What the channels hold, as the coloured buttons show it: the side of
    // the last simulated source, and whether a scan awaits its analysis.
    struct Marks {
        std::optional<Side> simulatedSource;
        bool scanNotAnalysed = false;
    };
    Marks marks_;

    // The controls that the handlers work on; the captions live on their own.
    QLabel* Label1 = nullptr;
    QLabel* Label16 = nullptr;
    CaptionButton* Command1 = nullptr;
    CaptionButton* Command2 = nullptr;
    CaptionButton* Command3 = nullptr;
    CaptionButton* Command4 = nullptr;
    QScrollBar* HScroll1 = nullptr;
};
