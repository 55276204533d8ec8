// contavio-xls: the workbook engine from the command line, for support, scripting and
// accountants.
//
//   contavio-xls new FILE                       a starter workbook with the three data sheets
//   contavio-xls dump FILE                      every non-empty cell as JSON
//   contavio-xls csv FILE SHEET                 one sheet as CSV (";", UTF-8, displayed values)
//   contavio-xls copy IN OUT [--new-password Q] a copy saved by the engine
//   contavio-xls check FILE                     whether the file opens, and if not why
//   contavio-xls import-fe FILE PATH... [--own-vat PIVA] [--own-cf CF] [--dry-run]
//                                               electronic invoices (.xml, .p7m, .zip, folders)
//                                               into the ledgers, then saved (not on a dry run)
//
// Every subcommand takes --password P (default: the program's own). Failures exit non-zero
// with one line in Italian on stderr.

#include "einvoice/importer.h"
#include "records/layout.h"
#include "records/office.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"
#include "store/file/workbookfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace {


struct UsageError {
    QString message;
};

void printOut(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
}

void printErr(const QString &line)
{
    QString oneLine = line;
    oneLine.replace(u'\n', u' ');
    const QByteArray utf8 = (oneLine + u'\n').toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
}

QString jsonString(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += u'"';
    for (QChar c : s) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20) {
                static const char hexDigits[] = "0123456789abcdef";
                out += QLatin1String("\\u00");
                out += QLatin1Char(hexDigits[c.unicode() >> 4]);
                out += QLatin1Char(hexDigits[c.unicode() & 0xF]);
            } else
                out += c;
        }
    }
    out += u'"';
    return out;
}

QString jsonNumber(double v)
{
    // JSON has no NaN or infinity: they go as the strings that number parsers take back.
    if (std::isnan(v))
        return QStringLiteral("\"NaN\"");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("\"Infinity\"") : QStringLiteral("\"-Infinity\"");
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, int(res.ptr - buf));
}

QString errorCode(store::CellError e)
{
    using store::CellError;
    switch (e) {
    case CellError::Null: return QStringLiteral("#NULL!");
    case CellError::Div0: return QStringLiteral("#DIV/0!");
    case CellError::Value: return QStringLiteral("#VALUE!");
    case CellError::Ref: return QStringLiteral("#REF!");
    case CellError::Name: return QStringLiteral("#NAME?");
    case CellError::Num: return QStringLiteral("#NUM!");
    case CellError::NA: return QStringLiteral("#N/A");
    }
    return QStringLiteral("#N/A");
}

QString isoDate(double serial)
{
    const QDateTime dt = store::serialToDateTime(serial);
    if (!dt.isValid())
        return QString();
    const QTime t = dt.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

// A cell's JSON type and value; nullopt for a cell that shows nothing and holds no formula.
std::optional<std::pair<const char *, QString>> jsonCell(const store::Variant &v, bool formula)
{
    using Type = store::Variant::Type;
    switch (v.type) {
    case Type::Empty:
        if (!formula)
            return std::nullopt;
        return std::pair{"text", jsonString(QString())};
    case Type::Number: return std::pair{"number", jsonNumber(v.number)};
    case Type::Date: return std::pair{"date", jsonString(isoDate(v.number))};
    case Type::Text: return std::pair{"text", jsonString(v.text)};
    case Type::Boolean:
        return std::pair{"boolean", v.number != 0 ? QStringLiteral("true") : QStringLiteral("false")};
    case Type::Error: return std::pair{"error", jsonString(errorCode(v.error))};
    }
    return std::nullopt;
}

// JSON written to stdout as it is made, in UTF-8, through a buffer of a few pages.
class JsonOut {
public:
    ~JsonOut() { flush(); }
    JsonOut &operator<<(const QString &s) { return *this << s.toUtf8(); }
    JsonOut &operator<<(const QByteArray &b)
    {
        m_buffer += b;
        if (m_buffer.size() >= kFlushAt)
            flush();
        return *this;
    }
    void flush()
    {
        std::fwrite(m_buffer.constData(), 1, size_t(m_buffer.size()), stdout);
        m_buffer.clear();
    }

private:
    static constexpr qsizetype kFlushAt = 1 << 16;
    QByteArray m_buffer;
};

// {"ref":"A1","type":...,"value":...} for each non-empty cell of the sheet, comma-separated,
// over the cells the sheet stores. A shared text is escaped once, however many cells show it.
void jsonCells(const store::Worksheet &ws, JsonOut &out)
{
    std::unordered_map<uint32_t, QByteArray> escapedTexts;   // by index in the string pool
    bool first = true;
    ws.forEachStoredCell([&](int r, int c, const store::Cell &cell) {
        if (cell.isEmpty())
            return;
        const store::Variant v = ws.valueAt(r, c);
        QByteArray value;
        const char *type = "text";
        if (v.type == store::Variant::Type::Text && cell.kind == store::CellKind::Text && !cell.isFormula()) {
            auto it = escapedTexts.find(cell.ref);
            if (it == escapedTexts.end())
                it = escapedTexts.emplace(cell.ref, jsonString(v.text).toUtf8()).first;
            value = it->second;
        } else {
            const auto typed = jsonCell(v, cell.isFormula());
            if (!typed)
                return;
            type = typed->first;
            value = typed->second.toUtf8();
        }
        QByteArray line = first ? "{\"ref\":\"" : ",{\"ref\":\"";
        first = false;
        line += store::columnLetters(c).toLatin1() + QByteArray::number(r) + "\",\"type\":\"" + type
                + "\",\"value\":" + value + '}';
        out << line;
    });
}

int cmdDump(store::Workbook &book)
{
    JsonOut out;
    out << QByteArray("{\"sheets\":[");
    for (int i = 1; i <= book.sheetCount(); ++i) {
        const store::Worksheet &ws = book.sheet(i);
        if (i > 1)
            out << QByteArray(",");
        out << QByteArray("{\"name\":") << jsonString(ws.name()) << QByteArray(",\"cells\":[");
        jsonCells(ws, out);
        out << QByteArray("]}");
    }
    out << QByteArray("]}\n");
    return 0;
}

QString csvField(const QString &s)
{
    if (!s.contains(u';') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + q + u'"';
}

int cmdCsv(store::Workbook &book, const QString &sheetName)
{
    store::Worksheet *ws = book.findSheet(sheetName);
    if (!ws)
        throw store::StoreError(store::ErrorKind::NotFound,
                                QStringLiteral("Il foglio \"%1\" non esiste nel file.").arg(sheetName));
    QString out;
    const int lastRow = ws->lastRow(), lastColumn = ws->lastColumn();
    for (int r = 1; r <= lastRow; ++r) {
        for (int c = 1; c <= lastColumn; ++c) {
            if (c > 1)
                out += u';';
            out += csvField(ws->textAt(r, c));
        }
        out += u'\n';
    }
    printOut(out);
    return 0;
}

// The starter workbook: the three data sheets with their title rows, row 1 frozen, the text
// columns of the registry formatted as text.
void buildStarter(store::Workbook &book)
{
    namespace layout = records::layout;
    store::Worksheet &anagrafe = book.sheet(1);
    anagrafe.setName(layout::anagrafe().name);
    store::Worksheet &incassi = book.appendSheet(layout::incassi().name);
    store::Worksheet &pagamenti = book.appendSheet(layout::pagamenti().name);

    layout::writeTitleRow(incassi, layout::incassi());
    layout::writeTitleRow(pagamenti, layout::pagamenti());
    layout::writeTitleRow(anagrafe, layout::anagrafe());
    for (const QString &column : layout::anagrafe().textColumns)
        anagrafe.range(column + QLatin1Char(':') + column).setNumberFormat(QStringLiteral("@"));
    anagrafe.range(QStringLiteral("A2")).select();
}

struct Arguments {
    QStringList positional;   // the command, then its files and sheet
    QString password = records::layout::kWorkbookPassword;
    std::optional<QString> newPassword;
    std::optional<QString> ownVat, ownTaxCode;   // import-fe
    bool dryRun = false;
};

Arguments parseArguments(const QStringList &args)
{
    Arguments parsed;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--password") || a == QLatin1String("--new-password")) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("Manca il valore di %1.").arg(a)};
            (a == QLatin1String("--password") ? parsed.password : parsed.newPassword.emplace()) = args[++i];
        } else if (a == QLatin1String("--own-vat") || a == QLatin1String("--own-cf")) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("Manca il valore di %1.").arg(a)};
            (a == QLatin1String("--own-vat") ? parsed.ownVat : parsed.ownTaxCode).emplace(args[++i]);
        } else if (a == QLatin1String("--dry-run")) {
            parsed.dryRun = true;
        } else if (a.startsWith(QLatin1String("--password="))) {
            parsed.password = a.mid(11);
        } else if (a.startsWith(QLatin1String("--new-password="))) {
            parsed.newPassword = a.mid(15);
        } else if (a.startsWith(QLatin1String("--"))) {
            throw UsageError{QStringLiteral("Opzione sconosciuta: %1.").arg(a)};
        } else {
            parsed.positional << a;
        }
    }
    return parsed;
}

// The password the next save encrypts with; an empty one saves the workbook unprotected.
void setSavePassword(store::Workbook &book, const QString &password)
{
    book.protection.password = password;
    book.protection.kind = password.isEmpty() ? store::Protection::Kind::None : store::Protection::Kind::Rc4CryptoApi;
}

int cmdNew(const QString &path, const QString &password)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        throw store::StoreError(store::ErrorKind::Invalid,
                                QStringLiteral("Il file %1 esiste già: non lo sovrascrivo.").arg(path));
    store::Workbook book;
    buildStarter(book);
    setSavePassword(book, password);
    store::writeWorkbook(book, path);
    return 0;
}

int cmdCopy(const QString &from, const QString &to, const QString &password,
            const std::optional<QString> &newPassword)
{
    auto book = store::readWorkbook(from, password);
    if (newPassword)
        setSavePassword(*book, *newPassword);
    store::writeWorkbook(*book, to);
    return 0;
}

int cmdCheck(store::Workbook &book)
{
    int cells = 0;
    for (int i = 1; i <= book.sheetCount(); ++i)
        book.sheet(i).forEachCell([&](int, int, const store::Cell &) { ++cells; });
    printOut(QStringLiteral("Il file si apre correttamente: %1 fogli, %2 celle.\n").arg(book.sheetCount()).arg(cells));
    return 0;
}

// The invoices of the files and folders into the workbook, all or nothing; the report on
// standard output. Exit 0 when the import (or the dry run) went through, 1 when nothing
// could be written.
int cmdImport(const QString &path, const QStringList &sources, const Arguments &parsed)
{
    const QFileInfo info(path);
    if (QFileInfo::exists(info.dir().filePath(QStringLiteral(".~lock.%1#").arg(info.fileName()))))
        throw store::StoreError(store::ErrorKind::Invalid,
                                QStringLiteral("La cartella di lavoro %1 è aperta in un altro programma: chiudilo e riprova.").arg(path));
    auto book = store::readWorkbook(path, parsed.password);
    einvoice::Identity office;
    if (parsed.ownVat || parsed.ownTaxCode) {
        office.vat = parsed.ownVat.value_or(QString());
        office.taxCode = parsed.ownTaxCode.value_or(QString());
    } else {
        const records::Office studio = records::readOffice(*book);
        office = {studio.vat, studio.taxCode};
    }
    if (office.isEmpty())
        throw UsageError{QStringLiteral("Mancano i dati dello studio: indica --own-vat o --own-cf, "
                                        "o compila il foglio Studio da \"Utilità/Causali\".")};
    const einvoice::Plan plan = einvoice::plan(*book, office, sources);
    if (parsed.dryRun) {
        printOut(einvoice::reportText(plan, nullptr) + u'\n');
        return 0;
    }
    const einvoice::Applied applied = einvoice::apply(*book, plan);
    printOut(einvoice::reportText(plan, &applied) + u'\n');
    if (!applied.ok)
        return 1;
    if (applied.invoices > 0)
        store::writeWorkbook(*book, path);
    return 0;
}

int run(const QStringList &args)
{
    Arguments parsed = parseArguments(args);
    QStringList &positional = parsed.positional;
    if (positional.isEmpty())
        throw UsageError{QStringLiteral("Uso: contavio-xls new|dump|csv|copy|check|import-fe FILE ... [--password P]")};
    const QString cmd = positional.takeFirst();
    auto need = [&](int n, const char *usage) {
        if (positional.size() != n)
            throw UsageError{QStringLiteral("Uso: contavio-xls %1").arg(QLatin1String(usage))};
    };
    if (parsed.newPassword && cmd != QLatin1String("copy"))
        throw UsageError{QStringLiteral("--new-password vale solo per copy.")};
    if ((parsed.ownVat || parsed.ownTaxCode || parsed.dryRun) && cmd != QLatin1String("import-fe"))
        throw UsageError{QStringLiteral("--own-vat, --own-cf e --dry-run valgono solo per import-fe.")};
    if (cmd == QLatin1String("import-fe")) {
        if (positional.size() < 2)
            throw UsageError{QStringLiteral("Uso: contavio-xls import-fe FILE FATTURE_O_CARTELLE... "
                                            "[--own-vat PIVA] [--own-cf CF] [--dry-run] [--password P]")};
        return cmdImport(positional[0], positional.mid(1), parsed);
    }

    if (cmd == QLatin1String("new")) {
        need(1, "new FILE [--password P]");
        return cmdNew(positional[0], parsed.password);
    }
    if (cmd == QLatin1String("dump")) {
        need(1, "dump FILE [--password P]");
        return cmdDump(*store::readWorkbook(positional[0], parsed.password));
    }
    if (cmd == QLatin1String("csv")) {
        need(2, "csv FILE FOGLIO [--password P]");
        return cmdCsv(*store::readWorkbook(positional[0], parsed.password), positional[1]);
    }
    if (cmd == QLatin1String("copy")) {
        need(2, "copy ORIGINE DESTINAZIONE [--password P] [--new-password Q]");
        return cmdCopy(positional[0], positional[1], parsed.password, parsed.newPassword);
    }
    if (cmd == QLatin1String("check")) {
        need(1, "check FILE [--password P]");
        return cmdCheck(*store::readWorkbook(positional[0], parsed.password));
    }
    throw UsageError{QStringLiteral("Comando sconosciuto: %1.").arg(cmd)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    try {
        return run(args);
    } catch (const UsageError &e) {
        printErr(e.message);
        return 2;
    } catch (const store::StoreError &e) {
        printErr(e.detail().isEmpty() ? e.userMessage() : e.userMessage() + QStringLiteral(" (") + e.detail() + u')');
        return 1;
    } catch (const std::exception &e) {
        printErr(QStringLiteral("Errore inatteso: %1").arg(QString::fromLocal8Bit(e.what())));
        return 1;
    }
}
