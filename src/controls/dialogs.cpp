#include "dialogs.h"

#include "textfit.h"

#include <QApplication>
#include <QGridLayout>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace controls {

namespace {
QString shownTitle(const QString &title)
{
    return title.isEmpty() ? QStringLiteral("Contavio") : title;
}

// Plain boxes and questions show no icon.
QMessageBox::Icon iconOf(BoxKind kind)
{
    switch (kind) {
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Critical: return QMessageBox::Critical;
    case BoxKind::Plain:
    case BoxKind::Question: return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}
} // namespace

Answer QtDialogs::message(BoxKind kind, const QString &text, const QString &title, Answer defaultButton)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(shownTitle(title));
    // Texts written for the classic boxes break lines with CR LF; a Qt label wants LF alone.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    box.setIcon(iconOf(kind));
    // A short text makes a narrow box, whose title bar would cut the title.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(titleRoom(&box, box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    if (kind == BoxKind::Question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == Answer::No ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (kind != BoxKind::Question)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::input(const QString &prompt, const QString &title,
                                        const QString &defaultAnswer)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(shownTitle(title));
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultAnswer);
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QStringList QtDialogs::chooseFiles(const QString &title, bool folder, const QString &filter)
{
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setFileMode(folder ? QFileDialog::Directory : QFileDialog::ExistingFiles);
    if (folder)
        dialog.setOption(QFileDialog::ShowDirsOnly);
    else if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> QtDialogs::savePdf(const QString &title, const QString &suggestedPath)
{
    const QString path = QFileDialog::getSaveFileName(QApplication::activeWindow(), shownTitle(title),
                                                      suggestedPath, QStringLiteral("Documenti PDF (*.pdf)"));
    if (path.isEmpty())
        return std::nullopt;
    return path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? path : path + QLatin1String(".pdf");
}

} // namespace controls
