#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

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
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(save ? tr("Save As") : tr("Open"));
    const QStringList filters = qtFilters(m_filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // Start where the last chosen file was, else in InitDir, else at home.
    const QFileInfo last(m_fileName);
    if (!m_fileName.isEmpty() && last.dir().exists())
        dialog.setDirectory(last.absolutePath());
    else if (!m_initDir.isEmpty() && QDir(m_initDir).exists())
        dialog.setDirectory(m_initDir);
    else
        dialog.setDirectory(QDir::homePath());
    if (save && !m_fileName.isEmpty())
        dialog.selectFile(last.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    m_fileName = dialog.selectedFiles().constFirst();
    return true;
}

QObject *CommonDialogFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("MSComDlg.CommonDialog"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new CommonDialog(parent);
}
