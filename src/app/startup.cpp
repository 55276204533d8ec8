#include "startup.h"

#include "records/layout.h"
#include "store/model/workbook.h"

#include <QFileInfo>

namespace app {

QString alreadyOpenMessage()
{
    return QStringLiteral("ERRORE: Risulta che il database Contavio.xls è già aperto")
        + QLatin1Char('\n')
        + QStringLiteral(" Occorre chiuderlo e  poi si potrà riaprire l'applicazione !");
}

QString notFoundMessage(const QString &path)
{
    return QStringLiteral("Impossibile eseguire il programma\r\nIl file ") + path
        + QStringLiteral(" non è stato trovato.");
}

QString openFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("Impossibile aprire il file %1.\n%2\nIl file non è stato modificato.")
        .arg(path, reason);
}

namespace {

QString holderLine(const LockHolder &holder)
{
    const QString who = holder.user.isEmpty() ? QStringLiteral("un utente sconosciuto") : holder.user;
    const QString when = holder.since.isValid()
        ? QStringLiteral(" dal %1 alle %2").arg(holder.since.toString(QStringLiteral("dd/MM/yyyy")),
                                                holder.since.toString(QStringLiteral("HH:mm")))
        : QString();
    const QString where = holder.host.isEmpty() ? QString() : QStringLiteral(" sul computer %1").arg(holder.host);
    return QStringLiteral("Il file è aperto da %1%2%3 (file di blocco %4).").arg(who, where, when, holder.lockFile);
}

} // namespace

QString inUseMessage(const LockHolder &holder)
{
    if (!holder.valid())
        return alreadyOpenMessage();
    return alreadyOpenMessage() + QStringLiteral("\n\n") + holderLine(holder);
}

QString staleLockQuestion(const LockHolder &holder)
{
    return inUseMessage(holder)
        + QStringLiteral("\nSu questo computer però nessun programma ha il file aperto: il blocco è "
                         "rimasto, probabilmente, da un programma che si è chiuso in modo anomalo.\n"
                         "Vuoi aprire lo stesso il database ?\n"
                         "Sì: il file di blocco viene tolto e il programma prosegue.\n"
                         "No: il programma termina.");
}

QString staleLockNotRemovedMessage(const LockHolder &holder)
{
    return QStringLiteral("Il file di blocco %1 impedisce ancora di aprire il database: il programma termina.")
        .arg(holder.lockFile);
}

QString readOnlyQuestion(const QString &path, bool fileReadOnly, bool folderReadOnly)
{
    QString what;
    if (fileReadOnly)
        what = QStringLiteral("Il file %1 è in sola lettura").arg(path);
    if (folderReadOnly)
        what += (what.isEmpty() ? QStringLiteral("La cartella %1 non consente di scrivere")
                                : QStringLiteral(" e la sua cartella non consente di scrivere"))
                    .arg(QFileInfo(path).absolutePath());
    return what
        + QStringLiteral(".\nSi possono consultare i dati, ma nessuna modifica potrà essere salvata: "
                         "all'uscita tutto ciò che verrà inserito o cambiato andrà perso.\n"
                         "Vuoi continuare lo stesso ?\n"
                         "Sì: il programma prosegue senza poter salvare.\n"
                         "No: il programma termina.");
}

void ensureSheet(store::Workbook &book, const QString &name)
{
    records::layout::ensureSheet(book, name);
}

void writeIncassiTitles(store::Workbook &book)
{
    records::layout::writeTitles(book, records::layout::incassi());
}

void writePagamentiTitles(store::Workbook &book)
{
    records::layout::writeTitles(book, records::layout::pagamenti());
}

void apertura(store::Workbook &book)
{
    const records::layout::SheetLayout &layout = records::layout::anagrafe();
    records::layout::formatTextColumns(records::layout::writeTitles(book, layout), layout);
}

void fitColumns(store::Workbook &book)
{
    for (int index = 1; index <= book.sheetCount(); ++index)
        book.sheet(index).usedRange().autoFitColumns();
}

void shapeWorkbook(store::Workbook &book)
{
    for (const records::layout::SheetLayout *layout : records::layout::dataSheets())
        ensureSheet(book, layout->name);
    writeIncassiTitles(book);
    writePagamentiTitles(book);
    apertura(book);
    fitColumns(book);
}

} // namespace app
