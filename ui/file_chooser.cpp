#include "file_chooser.h"

#include <QFileDialog>

namespace {

QString chosen(QFileDialog& dialog, QString& folder) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    folder = dialog.directory().absolutePath();
    return dialog.selectedFiles().front();
}

} // namespace

QString FileChooser::toOpen(QWidget* parent, const QString& title, const QString& filter) {
    QFileDialog dialog(parent, title, folder_, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return chosen(dialog, folder_);
}

QString FileChooser::toSave(QWidget* parent, const QString& title, const QString& filter,
                            const QString& suffix, bool appending) {
    QFileDialog dialog(parent, title, folder_, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, appending);
    return chosen(dialog, folder_);
}
