#pragma once

#include "bearing.h"
#include "bearing_time_plot.h"
#include "capture_files.h"
#include "capture_source.h"
#include "capture_sources.h"
#include "correlogram_plot.h"
#include "follower.h"
#include "instrument.h"
#include "row_queue.h"

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
// It drives the instrument and paints from its state. Each handler runs to
// its end on the window's thread before the next event is taken.
class Form3 final : public QWidget {
public:
    // Scans come from source, and captures are kept in and opened from
    // files, which outlives the window.
    Form3(std::shared_ptr<CaptureSource> source, CaptureFiles& files);
    ~Form3() override;

    const Instrument& instrument() const { return instrument_; }
    const SampleStore& store() const { return instrument_.store(); }
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
    void offerSources(CaptureSources& sources,
                      const std::optional<CaptureOptions::Analyser>& current);
    // Scans from now on come from choice, as the dialog sets it; remembered.
    void useSource(const std::optional<CaptureOptions::Analyser>& choice);

    // Continuous scanning from the source chosen, row by row, as its menu
    // entry or Esc starts and stops it. The command buttons wait
    // meanwhile; the bearing-time display shows below the layout.
    void setFollowing(bool on);
    bool following() const { return following_; }
    // Rows of period from now on; the menu's choice is remembered.
    void setRowPeriod(std::chrono::milliseconds period);
    // Appends each row's CSV line to path while the mode runs.
    void recordRows(const QString& path);
    const BearingTimePlot* bearingTime() const { return bearingTime_; }
    // Shows the rows that have come, as the window's next frame does.
    void showRows();

    // Analyse every whole window held instead of the first; remembered.
    void setIntegrating(bool whole);
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
    void createBanner();
    void createReadouts();
    void createCommands();
    void createSlider();
    void createFileCommands();
    void createResultLine();
    void createAnalysisCommands();
    void paintDecorations(QPainter& painter) const;
    void paintPeakMark(QPainter& painter) const;
    void chooseGeometry();
    void chooseSource();
    void createFollowCommands();
    void startFollowing();
    void stopFollowing();
    void followEnded(const std::optional<OperatorError>& fault);
    void showBearingTime();
    void chooseRecording(bool on);
    void enableCommands(bool enabled);
    void showResult(const Bearing::Result& result, const std::string& note);
    void showResult();
    void clearResult();
    void scanFrom(const std::shared_ptr<CaptureSource>& source, const QString& failureTitle);
    void simulate(Side side);
    void showMarks();
    // Saving asks before it replaces a file, unless appending.
    QString chooseFile(bool saving, const QString& title, const QString& filter,
                       const QString& suffix, bool appending = false);
    void writeFile(const QString& path, const QByteArray& contents);

    Instrument instrument_;
    std::shared_ptr<CaptureSource> source_;
    CaptureFiles& files_;
    // What the window may scan from, once offered, and the choice in use.
    CaptureSources* sources_ = nullptr;
    std::optional<CaptureOptions::Analyser> analyser_;
    CorrelogramPlot plot_{*this};
    // A scan holds the window's thread; a close asked for meanwhile.
    bool scanning_ = false;
    bool closeAsked_ = false;

    // Where the file dialogs open: the folder of the last file chosen.
    QString folder_;
    QMenu* fileMenu_ = nullptr;
    QAction* saveCapture_ = nullptr;
    QAction* exportCorrelogram_ = nullptr;
    QAction* integrate_ = nullptr;
    // The result of the last analysis, under the window's layout, and the
    // plot's place over the peak it claims as a source.
    QLabel* result_ = nullptr;
    std::optional<QPointF> peakMark_;
    // The receivers' geometry, once the operator has given it.
    std::optional<Bearing::Geometry> geometry_;
    QAction* saveImage_ = nullptr;

    // Continuous scanning: the stream while it runs, the rows on their way
    // to the window, and where they came from.
    std::unique_ptr<Follower> follower_;
    bool following_ = false;
    RowQueue rows_;
    std::chrono::milliseconds rowPeriod_;
    std::uint64_t followRate_ = kPortRate;
    CaptureOrigin followOrigin_;
    QAction* follow_ = nullptr;
    QAction* record_ = nullptr;
    QActionGroup* periods_ = nullptr;
    QAction* openCapture_ = nullptr;
    BearingTimePlot* bearingTime_ = nullptr;

    // The controls that the handlers work on; the captions live on their own.
    QLabel* Label1 = nullptr;
    QLabel* Label16 = nullptr;
    CaptionButton* Command1 = nullptr;
    CaptionButton* Command2 = nullptr;
    CaptionButton* Command3 = nullptr;
    CaptionButton* Command4 = nullptr;
    QScrollBar* HScroll1 = nullptr;
};
