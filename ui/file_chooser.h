#pragma once

#include <QString>

class QWidget;

// Qt's own file dialog, which Qt's Italian texts reach on every desktop,
// opening in the folder of the last file chosen.
class FileChooser {
public:
    static inline const QString kCsv = QStringLiteral("Valori separati da virgole (*.csv)");

    // The file chosen, or nothing when the dialog was cancelled.
    QString toOpen(QWidget* parent, const QString& title, const QString& filter);
    // Asks before it replaces a file, unless appending.
    QString toSave(QWidget* parent, const QString& title, const QString& filter,
                   const QString& suffix, bool appending = false);

private:
    QString folder_;
};
