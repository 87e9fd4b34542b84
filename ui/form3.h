#pragma once

#include "bearing.h"
#include "bearing_time_plot.h"
#include "capture_files.h"
#include "capture_source.h"
#include "capture_sources.h"
#include "correlogram_plot.h"
#include "file_chooser.h"
#include "follow_controls.h"
#include "session.h"

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CaptionButton;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QScrollBar;

// The instrument's only window: the correlogram plot on its surface, the
// command buttons, the slider of the simulated delay and the two readouts.
// It drives the session and paints from its state. Each handler runs to
// its end on the window's thread before the next event is taken.
class Form3 final : public QWidget {
public:
    // Scans come from source, and captures are kept in and opened from
    // files, which outlives the window.
    Form3(std::shared_ptr<CaptureSource> source, CaptureFiles& files);
    ~Form3() override;

    const Session& session() const { return session_; }
    const Instrument& instrument() const { return session_.instrument(); }
    const SampleStore& store() const { return instrument().store(); }
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

    // Lets the operator choose where scans come from, starting from current
    // (an analyser, or the port): "Sorgente di acquisizione…" in the menu.
    void offerSources(CaptureSources& sources, const CaptureOptions::Source& current);
    // Scans from now on come from choice, as the dialog sets it; remembered.
    void useSource(const CaptureOptions::Source& choice);

    // Continuous scanning from the source chosen, row by row, as its menu
    // entry or Esc starts and stops it. The command buttons wait
    // meanwhile; the bearing-time display shows below the layout.
    void setFollowing(bool on);
    bool following() const { return session_.following(); }
    // Rows of period from now on; the menu's choice is remembered.
    void setRowPeriod(std::chrono::milliseconds period);
    // Appends each row's CSV line to path while the mode runs.
    void recordRows(const QString& path);
    const BearingTimePlot* bearingTime() const;
    // Shows the rows that have come, as the window's next frame does.
    void showRows();

    // Analyse every whole window held instead of the first; remembered.
    void setIntegrating(bool whole);
    // Analyse the whitened correlation of every sample instead; remembered.
    void setWhitening(bool whitened);
    // Sets the geometry as the dialog does; remembered.
    void setGeometry(const Bearing::Geometry& geometry);

    // Each of these shows its file dialog and then does the work below.
    void chooseCaptureToOpen();
    void chooseCaptureToSave();
    void chooseCorrelogramExport();
    void chooseImageToSave();
    // Opens a capture as a scan: the analysis turns green and the simulation
    // marks go. A file that cannot be opened changes nothing but shows why.
    // The path's bytes as the system names the file, or a name as Qt has it.
    void openCapture(const std::string& path);
    void openCapture(const QString& path);
    // Keeps what the next analysis would read, at the rate of that data.
    void saveCapture(const QString& path);
    // Write the last analysis as CSV, and the window as shown as PNG.
    void exportCorrelogram(const QString& path);
    void saveImage(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A close asked for during a scan waits for the scan to end.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createReadouts();
    void createCommands();
    void createSlider();
    void createFileCommands();
    void createResultLine();
    void createAnalysisCommands();
    void createFollowCommands();
    void paintDecorations(QPainter& painter) const;
    void paintPeakMark(QPainter& painter) const;
    void chooseGeometry();
    void chooseSource();
    void enableCommands(bool enabled);
    void showRow(Follower::Row row, const std::string& note);
    void showResult(const Bearing::Result& result, const std::string& note);
    void showResult();
    void clearResult();
    void movePeakMark(const std::optional<QPointF>& mark);
    void scanFrom(const std::shared_ptr<CaptureSource>& source, const QString& failureTitle);
    void simulate(Side side);
    void showMarks();
    void writeFile(const QString& path, const QByteArray& contents);

    Session session_;
    CaptureFiles& files_;
    CorrelogramPlot plot_{*this};
    FileChooser chooser_;
    // A scan holds the window's thread; a close asked for meanwhile.
    bool scanning_ = false;
    bool closeAsked_ = false;

    QMenu* fileMenu_ = nullptr;
    QAction* saveCapture_ = nullptr;
    QAction* exportCorrelogram_ = nullptr;
    QAction* saveImage_ = nullptr;
    QAction* openCapture_ = nullptr;
    QAction* integrate_ = nullptr;
    QAction* whiten_ = nullptr;
    std::unique_ptr<FollowControls> follow_;
    // The result of the last analysis, under the window's layout, and the
    // plot's place over the peak it claims as a source.
    QLabel* result_ = nullptr;
    std::optional<QPointF> peakMark_;

    // The controls that the handlers work on; the captions live on their own.
    QLabel* Label1 = nullptr;
    QLabel* Label16 = nullptr;
    CaptionButton* Command1 = nullptr;
    CaptionButton* Command2 = nullptr;
    CaptionButton* Command3 = nullptr;
    CaptionButton* Command4 = nullptr;
    QScrollBar* HScroll1 = nullptr;
};
