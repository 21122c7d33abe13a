// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>

namespace {

// Icons and type names from the kind of entry alone. The platform's provider
// asks the MIME database, which opens and reads a file whose name it does not
// know: a path typed under /proc had it read kmsg, which blocks the whole
// program and takes the kernel's messages; a large file is read as well.
class KindIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override { return icon(kind(info)); }
    QString type(const QFileInfo &info) const override
    {
        switch (kind(info)) {
        case Drive: return QStringLiteral("Drive");
        case Folder: return QStringLiteral("Folder");
        default: break;
        }
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File") : suffix + QStringLiteral(" File");
    }

private:
    static IconType kind(const QFileInfo &info)
    {
        if (info.isRoot())
            return Drive;
        return info.isDir() ? Folder : File;
    }
};

} // namespace

CommonDialog::CommonDialog(QWidget *owner) : QObject(owner), m_owner(owner) {}

QStringList CommonDialog::qtFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    return result;
}

bool CommonDialog::ShowOpen() { return show(false); }
bool CommonDialog::ShowSave() { return show(true); }

bool CommonDialog::show(bool save)
{
    // Start where the last chosen file was, else in InitDir, else at home.
    const QFileInfo last(m_fileName);
    QString start = QDir::homePath();
    if (!m_fileName.isEmpty() && last.dir().exists())
        start = last.absolutePath();
    else if (!m_initDir.isEmpty() && QDir(m_initDir).exists())
        start = m_initDir;

    // The provider outlives the dialog: the model's gatherer thread uses it.
    // The dialog starts in its folder, so no other folder is read before the
    // provider is in place.
    KindIconProvider icons;
    QFileDialog dialog(m_owner, save ? tr("Save As") : tr("Open"), start);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The dialog sees the name as typed, not the name that is written; the
    // caller asks about the file it will replace.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = qtFilters(m_filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (save && !m_fileName.isEmpty())
        dialog.selectFile(last.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    return true;
}

QObject *CommonDialogFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::CommonDialog, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new CommonDialog(parent);
}
