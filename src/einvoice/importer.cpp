#include "einvoice/importer.h"

#include "einvoice/archive.h"
#include "einvoice/envelope.h"
#include "records/layout.h"
#include "records/ledger.h"
#include "records/registry.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cmath>
#include <functional>
#include <optional>
#include <variant>

namespace einvoice {

namespace {

constexpr qint64 kMaxFileBytes = 100LL * 1024 * 1024;   // a file as read, archives included
using records::layout::kCounterColumn;
using Reg = records::Registry;
using Led = records::Ledger;
static_assert(int(Reg::ColId) == int(Led::ColNumber), "a free row is one whose column A is blank, in either sheet");

const QString &sheetNameOf(Direction d)
{
    return d == Direction::Sale ? records::layout::incassi().name : records::layout::pagamenti().name;
}

QString typeLetter(Direction d)
{
    return d == Direction::Sale ? QStringLiteral("C") : QStringLiteral("F");
}

QString numberKey(double n)
{
    return QString::number(n, 'f', 0);
}

std::optional<QDate> dateIn(const store::Variant &v)
{
    static const QDate epoch(1899, 12, 30);
    if (v.type == store::Variant::Type::Date || v.type == store::Variant::Type::Number)
        return epoch.addDays(qint64(std::floor(v.number)));
    if (v.type == store::Variant::Type::Text)
        return store::parseDate(v.text.trimmed());
    return std::nullopt;
}

// A cell's text without its display format: texts as they are, other values by the Italian
// conventions ("123", "12,5").
QString plainText(const store::Worksheet &sheet, int row, int column)
{
    const store::Variant v = sheet.valueAt(row, column);
    return v.type == store::Variant::Type::Text ? v.text : store::valueToText(v);
}

QString invoiceKey(Direction d, const QString &counterparty, const QString &number, const QDate &date)
{
    return QString::number(int(d)) + QLatin1Char('|') + counterparty + QLatin1Char('|') + number.trimmed().toUpper()
         + QLatin1Char('|') + QString::number(date.toJulianDay());
}

// Where an invoice was met first: a row of a ledger, or a file of this import.
struct Seen {
    Direction ledger = Direction::Sale;
    int row = 0;      // > 0: the ledger's row
    QString source;   // otherwise the file

    QString reason() const
    {
        if (row > 0)
            return QStringLiteral("già presente in %1 (riga %2)").arg(sheetNameOf(ledger)).arg(row);
        return QStringLiteral("già letta in questa importazione (%1)").arg(source);
    }
};

// The registry's rows by partita IVA and codice fiscale.
struct RegistryIndex {
    struct Known {
        double number;
        QString type;
        QString name;
    };
    QHash<QString, std::vector<Known>> byVat, byCode;

    explicit RegistryIndex(const store::Worksheet *sheet)
    {
        if (!sheet)
            return;
        for (int row = 2; row <= store::kMaxRows; ++row) {
            const store::Variant id = sheet->valueAt(row, Reg::ColId);
            if (id.isBlank())
                break;
            const std::optional<double> number = records::progressiveIn(id);
            if (!number)
                continue;
            const Known known{*number, plainText(*sheet, row, Reg::ColType).trimmed().toUpper(), plainText(*sheet, row, Reg::ColName)};
            const QString vat = digitsOf(plainText(*sheet, row, Reg::ColVat));
            const QString code = codeOf(plainText(*sheet, row, Reg::ColTaxCode));
            if (!vat.isEmpty())
                byVat[vat].push_back(known);
            if (!code.isEmpty())
                byCode[code].push_back(known);
        }
    }

    // A row of the wanted type when there is one, else any row.
    static std::optional<Known> pick(const std::vector<Known> &list, const QString &type)
    {
        for (const Known &k : list)
            if (k.type == type)
                return k;
        return list.front();
    }

    std::optional<Known> find(const Party &party, const QString &type) const
    {
        const QString vat = digitsOf(party.vatCode);
        const QString code = codeOf(party.taxCode);
        if (!vat.isEmpty() && byVat.contains(vat))
            return pick(*byVat.constFind(vat), type);
        if (!code.isEmpty() && byCode.contains(code))
            return pick(*byCode.constFind(code), type);
        // A company's codice fiscale is its partita IVA.
        if (!code.isEmpty() && code == digitsOf(code) && byVat.contains(code))
            return pick(*byVat.constFind(code), type);
        return std::nullopt;
    }
};

// The invoices already in a ledger, by counterparty number, invoice number and date.
void indexLedger(const store::Worksheet *sheet, Direction d, QHash<QString, Seen> &known)
{
    if (!sheet)
        return;
    for (int row = 2; row <= store::kMaxRows; ++row) {
        if (sheet->valueAt(row, Led::ColNumber).isBlank())
            break;
        const std::optional<double> counterparty = store::numberIn(sheet->valueAt(row, Led::ColCounterpartyNumber));
        const std::optional<QDate> date = dateIn(sheet->valueAt(row, Led::ColInvoiceDate));
        if (!counterparty || !date)
            continue;
        known.insert(invoiceKey(d, numberKey(*counterparty), plainText(*sheet, row, Led::ColInvoice), *date), Seen{d, row, {}});
    }
}

bool startsLikeXml(const QByteArray &bytes)
{
    for (char c : bytes.left(64)) {
        if (c == '<')
            return true;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            break;
    }
    // A byte-order mark of UTF-8 or UTF-16.
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

class Planner {
public:
    Planner(store::Workbook &book, const Identity &office)
        : m_office(office), m_registry(book.findSheet(records::layout::anagrafe().name))
    {
        indexLedger(book.findSheet(records::layout::incassi().name), Direction::Sale, m_known);
        indexLedger(book.findSheet(records::layout::pagamenti().name), Direction::Purchase, m_known);
    }

    void readPath(const QString &path)
    {
        const QFileInfo info(path);
        if (info.isDir()) {
            QStringList files;
            QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
            files.sort();
            for (const QString &file : files)
                readFile(file);
        } else {
            readFile(path);
        }
    }

    Plan result;

private:
    void skip(const QString &source, const QString &reason) { result.skipped.push_back({source, reason}); }

    void readFile(const QString &path)
    {
        const QString label = QDir::toNativeSeparators(path);
        QFile file(path);
        if (!file.exists())
            return skip(label, QStringLiteral("file inesistente"));
        if (file.size() > kMaxFileBytes)
            return skip(label, QStringLiteral("file troppo grande"));
        if (!file.open(QIODevice::ReadOnly))
            return skip(label, QStringLiteral("file illeggibile (%1)").arg(file.errorString()));
        const QByteArray bytes = file.read(kMaxFileBytes + 1);
        if (bytes.size() > kMaxFileBytes)
            return skip(label, QStringLiteral("file troppo grande"));
        readBytes(label, bytes, false);
    }

    void readBytes(const QString &label, const QByteArray &bytes, bool insideArchive)
    {
        ++result.filesRead;
        if (looksLikeArchive(bytes)) {
            if (insideArchive)
                return skip(label, QStringLiteral("archivio zip dentro un archivio, non letto"));
            const QString error = readArchive(bytes, [&](ArchiveEntry &&entry) {
                const QString inner = label + QStringLiteral(" › ") + entry.name;
                if (!entry.error.isEmpty())
                    skip(inner, entry.error);
                else
                    readBytes(inner, entry.bytes, true);
            });
            if (!error.isEmpty())
                skip(label, error);
            return;
        }
        if (startsLikeXml(bytes))
            return readXml(label, bytes);
        if (bytes.isEmpty())
            return skip(label, QStringLiteral("file vuoto"));
        if (!looksLikeEnvelope(bytes) && !label.endsWith(QLatin1String(".p7m"), Qt::CaseInsensitive))
            return skip(label, QStringLiteral("non è una fattura elettronica (né XML, né .p7m, né .zip)"));
        const Unwrapped opened = unwrapEnvelope(bytes);
        if (!opened.error.isEmpty())
            return skip(label, opened.error);
        readXml(label, opened.content);
    }

    void readXml(const QString &label, const QByteArray &bytes)
    {
        const ParseResult parsed = parseInvoice(bytes);
        if (!parsed.invoice)
            return skip(label, parsed.error);
        const Invoice &invoice = *parsed.invoice;
        const int bodies = int(invoice.bodies.size());
        for (int i = 0; i < bodies; ++i) {
            const Document &doc = invoice.bodies[size_t(i)];
            QString source = label;
            if (bodies > 1)
                source += QStringLiteral(" (documento %1 di %2)").arg(i + 1).arg(bodies);
            Mapping mapped = mapDocument(invoice, doc, m_office);
            if (!mapped.document) {
                skip(source, mapped.skipReason);
                continue;
            }
            addDocument(source, std::move(*mapped.document));
        }
    }

    void addDocument(const QString &source, MappedDocument doc)
    {
        PlannedInvoice planned;
        planned.source = source;
        const QString type = typeLetter(doc.direction);
        QString counterpartyKey;
        if (const auto known = m_registry.find(doc.counterparty, type)) {
            planned.counterpartyNumber = known->number;
            planned.counterpartyName = known->name;
            counterpartyKey = numberKey(known->number);
        } else {
            const QString vat = digitsOf(doc.counterparty.vatCode);
            const QString identity = !vat.isEmpty() ? QStringLiteral("V") + vat
                                   : !codeOf(doc.counterparty.taxCode).isEmpty() ? QStringLiteral("C") + codeOf(doc.counterparty.taxCode)
                                   : QStringLiteral("N") + doc.counterparty.name.toUpper();
            const QString newKey = type + identity;
            auto it = m_newByIdentity.constFind(newKey);
            if (it == m_newByIdentity.constEnd()) {
                result.newCounterparties.push_back({doc.direction, doc.counterparty,
                                                   doc.direction == Direction::Purchase ? doc.counterpartyIban : QString()});
                it = m_newByIdentity.insert(newKey, int(result.newCounterparties.size()) - 1);
            }
            planned.newIndex = *it;
            counterpartyKey = QStringLiteral("new") + QString::number(*it);
        }
        const QString key = invoiceKey(doc.direction, counterpartyKey, doc.number, doc.date);
        if (const auto found = m_known.constFind(key); found != m_known.constEnd()) {
            skip(source, QStringLiteral("fattura n. %1 del %2 %3").arg(doc.number, store::dateText(doc.date), found->reason()));
            dropUnusedNew(planned.newIndex);
            return;
        }
        m_known.insert(key, Seen{doc.direction, 0, source});
        planned.document = std::move(doc);
        result.invoices.push_back(std::move(planned));
    }

    // A new counterparty added for a duplicate alone is taken back.
    void dropUnusedNew(int index)
    {
        if (index < 0 || index != int(result.newCounterparties.size()) - 1)
            return;
        for (const PlannedInvoice &p : result.invoices)
            if (p.newIndex == index)
                return;
        result.newCounterparties.pop_back();
        for (auto it = m_newByIdentity.begin(); it != m_newByIdentity.end(); ++it)
            if (*it == index) {
                m_newByIdentity.erase(it);
                break;
            }
    }

    Identity m_office;
    RegistryIndex m_registry;
    QHash<QString, Seen> m_known;         // invoice key -> where it was met first
    QHash<QString, int> m_newByIdentity;  // type + identity -> index of a new counterparty
};

// Cells written by apply(), each with what it held before, so that a failure puts back
// every one of them.
class CellUndo {
public:
    explicit CellUndo(store::Workbook &book) : m_book(book) {}
    ~CellUndo()
    {
        if (!m_committed)
            rollBack();
    }

    void set(store::Worksheet &sheet, int row, int column, const store::Variant &value)
    {
        const store::Cell *old = sheet.cellAt(row, column);
        m_saved.push_back({&sheet, row, column, old ? std::optional<store::Cell>(*old) : std::nullopt});
        sheet.cells(row, column).setValue(value);
    }
    void setText(store::Worksheet &sheet, int row, int column, const QString &text)
    {
        if (!text.isEmpty())
            set(sheet, row, column, store::Variant::fromText(text));
    }
    void commit() { m_committed = true; }

private:
    void rollBack()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            it->sheet->putCell(it->row, it->column, it->old.value_or(store::Cell{}));
        m_book.noteChange();
    }

    struct Saved {
        store::Worksheet *sheet;
        int row, column;
        std::optional<store::Cell> old;
    };
    store::Workbook &m_book;
    std::vector<Saved> m_saved;
    bool m_committed = false;
};

// The rows an append fills: from the first row whose column A is blank, each next one the
// next blank after it, down to the last row of the grid, as the records layer's free-row
// search goes. nullopt when the sheet has no room for `count`.
std::optional<std::vector<int>> freeRows(const store::Worksheet &sheet, int count)
{
    std::vector<int> rows;
    for (int row = 1; int(rows.size()) < count; ++row) {
        if (row > store::kMaxRows)
            return std::nullopt;
        if (sheet.valueAt(row, Led::ColNumber).isBlank())
            rows.push_back(row);
    }
    return rows;
}

// A counter cell: empty reads as `whenEmpty`; a value that is no whole number refuses.
std::optional<double> counterOf(const store::Worksheet &sheet, double whenEmpty)
{
    const store::Variant v = sheet.valueAt(1, kCounterColumn);
    if (v.isBlank())
        return whenEmpty;
    const std::optional<double> n = store::numberIn(v);
    if (!n || *n != std::floor(*n) || *n < 0 || *n > 999999999)
        return std::nullopt;
    return n;
}

QString amountText(Cents cents)
{
    return store::amountText(double(cents) / 100.0);
}

} // namespace

int Plan::rowCount(Direction d) const
{
    int rows = 0;
    for (const PlannedInvoice &p : invoices)
        if (p.document.direction == d)
            rows += int(p.document.rows.size());
    return rows;
}

Plan plan(store::Workbook &book, const Identity &office, const QStringList &paths)
{
    if (office.isEmpty()) {
        Plan none;
        none.error = QStringLiteral("Mancano la partita IVA e il codice fiscale dello studio.");
        return none;
    }
    Planner planner(book, office);
    for (const QString &path : paths)
        planner.readPath(path);
    return std::move(planner.result);
}

namespace {

// Where an import goes, all checked before the first write: the three sheets, the next
// counterparty number, the last record number of each ledger and the free rows.
struct Room {
    store::Worksheet *registry = nullptr;
    store::Worksheet *ledgers[2] = {nullptr, nullptr};   // Incassi, Pagamenti
    double nextCounterparty = 1;
    double lastRecord[2] = {0, 0};
    std::vector<int> rows[2];
    std::vector<int> registryRows;
};

// The room for `plan`, or the reason there is none.
std::variant<Room, QString> findRoom(store::Workbook &book, const Plan &plan)
{
    Room room;
    room.registry = book.findSheet(records::layout::anagrafe().name);
    room.ledgers[0] = book.findSheet(records::layout::incassi().name);
    room.ledgers[1] = book.findSheet(records::layout::pagamenti().name);
    if (!room.registry || !room.ledgers[0] || !room.ledgers[1])
        return QStringLiteral("Manca uno dei fogli Anagrafe, Incassi, Pagamenti.");
    const std::optional<double> next = counterOf(*room.registry, 1);
    if (!next)
        return QStringLiteral("Il contatore di Anagrafe (cella IV1) non è un numero intero.");
    room.nextCounterparty = *next;
    for (int i = 0; i < 2; ++i) {
        const std::optional<double> last = counterOf(*room.ledgers[i], 0);
        if (!last)
            return QStringLiteral("Il contatore di %1 (cella IV1) non è un numero intero.").arg(room.ledgers[i]->name());
        room.lastRecord[i] = *last;
        std::optional<std::vector<int>> rows =
            freeRows(*room.ledgers[i], plan.rowCount(i == 0 ? Direction::Sale : Direction::Purchase));
        if (!rows)
            return QStringLiteral("Il foglio %1 non ha posto per tutte le righe da importare.").arg(room.ledgers[i]->name());
        room.rows[i] = std::move(*rows);
    }
    std::optional<std::vector<int>> registryRows = freeRows(*room.registry, int(plan.newCounterparties.size()));
    if (!registryRows)
        return QStringLiteral("Il foglio Anagrafe non ha posto per i nuovi clienti e fornitori.");
    room.registryRows = std::move(*registryRows);
    return room;
}

// Adds the new counterparties as the registry form adds them; their numbers, in plan order.
std::vector<double> writeCounterparties(CellUndo &undo, Room &room, const Plan &plan)
{
    std::vector<double> numbers;
    store::Worksheet &registry = *room.registry;
    for (size_t i = 0; i < plan.newCounterparties.size(); ++i) {
        const NewCounterparty &c = plan.newCounterparties[i];
        const int row = room.registryRows[i];
        const Party &p = c.party;
        const QString vat = p.vatCountry.isEmpty() || p.vatCountry == QLatin1String("IT") ? p.vatCode : p.vatCountry + p.vatCode;
        undo.set(registry, row, Reg::ColId, store::Variant::fromNumber(room.nextCounterparty));
        undo.setText(registry, row, Reg::ColType, typeLetter(c.direction));
        undo.setText(registry, row, Reg::ColName, p.name.toUpper());
        undo.setText(registry, row, Reg::ColAddress, p.address.toUpper());
        undo.setText(registry, row, Reg::ColPostCode, p.postCode);
        undo.setText(registry, row, Reg::ColTown, p.town.toUpper());
        undo.setText(registry, row, Reg::ColProvince, p.province.toUpper());
        undo.setText(registry, row, Reg::ColTaxCode, codeOf(p.taxCode));
        undo.setText(registry, row, Reg::ColVat, vat.toUpper());
        if (c.direction == Direction::Purchase) {
            undo.setText(registry, row, Reg::ColPhone, p.phone);
            undo.setText(registry, row, Reg::ColFax, p.fax);
            undo.setText(registry, row, Reg::ColEmail, p.email);
            undo.setText(registry, row, Reg::ColIban, c.iban.toUpper());
        }
        numbers.push_back(room.nextCounterparty);
        room.nextCounterparty += 1;
    }
    if (!plan.newCounterparties.empty())
        undo.set(registry, 1, kCounterColumn, store::Variant::fromNumber(room.nextCounterparty));
    return numbers;
}

// Writes one invoice's rows into its ledger as "Inserisci" writes a record, counter included.
void writeInvoice(CellUndo &undo, Room &room, size_t (&used)[2], const PlannedInvoice &p, double counterparty,
                  const QString &name, Applied &done)
{
    const int i = p.document.direction == Direction::Sale ? 0 : 1;
    store::Worksheet &sheet = *room.ledgers[i];
    for (const Row &r : p.document.rows) {
        const int row = room.rows[i][used[i]++];
        const double id = room.lastRecord[i] += 1;
        undo.set(sheet, row, Led::ColNumber, store::Variant::fromNumber(id));
        undo.set(sheet, row, Led::ColCounterpartyNumber, store::Variant::fromNumber(counterparty));
        undo.setText(sheet, row, Led::ColCounterparty, name);
        undo.setText(sheet, row, Led::ColInvoice, p.document.number);
        undo.set(sheet, row, Led::ColInvoiceDate, store::Variant::fromDate(store::dateToSerial(p.document.date)));
        undo.set(sheet, row, Led::ColDueDate, store::Variant::fromDate(store::dateToSerial(r.due)));
        undo.setText(sheet, row, Led::flagColumn(records::Group::Collected), QStringLiteral("NO"));
        undo.set(sheet, row, Led::amountColumn(records::Group::Collected), store::Variant::fromNumber(double(r.amount) / 100.0));
        sheet.cells(row, Led::amountColumn(records::Group::Collected)).setNumberFormat(store::kAmountFormat);
        undo.setText(sheet, row, Led::flagColumn(records::Group::Advance), QStringLiteral("NO"));
        undo.setText(sheet, row, Led::flagColumn(records::Group::Settled), QStringLiteral("NO"));
        undo.setText(sheet, row, Led::ColNote, r.note);
        ++(i == 0 ? done.rowsIncassi : done.rowsPagamenti);
    }
    undo.set(sheet, 1, kCounterColumn, store::Variant::fromNumber(room.lastRecord[i]));
    ++done.invoices;
}

} // namespace

Applied apply(store::Workbook &book, const Plan &plan)
{
    Applied done;
    std::variant<Room, QString> found = findRoom(book, plan);
    if (const QString *why = std::get_if<QString>(&found)) {
        done.error = *why;
        return done;
    }
    Room &room = std::get<Room>(found);
    try {
        CellUndo undo(book);
        const std::vector<double> newNumbers = writeCounterparties(undo, room, plan);
        size_t used[2] = {0, 0};
        for (const PlannedInvoice &p : plan.invoices) {
            const bool isNew = p.newIndex >= 0;
            const double counterparty = isNew ? newNumbers[size_t(p.newIndex)] : p.counterpartyNumber;
            const QString name = isNew ? plan.newCounterparties[size_t(p.newIndex)].party.name.toUpper()
                                       : p.counterpartyName;
            writeInvoice(undo, room, used, p, counterparty, name, done);
        }
        undo.commit();
    } catch (const std::exception &e) {
        done = Applied{};
        done.error = QStringLiteral("Importazione non eseguita, la cartella di lavoro è rimasta com'era: %1")
                         .arg(QString::fromLocal8Bit(e.what()));
        return done;
    }
    done.newCounterparties = int(plan.newCounterparties.size());
    done.ok = true;
    return done;
}

QStringList previewLines(const Plan &plan)
{
    QStringList lines;
    for (const PlannedInvoice &p : plan.invoices) {
        const MappedDocument &d = p.document;
        Cents total = 0;
        for (const Row &r : d.rows)
            total += r.amount;
        lines << QStringLiteral("%1: %2 n. %3 del %4, %5%6, %7 %8 - %9")
                     .arg(sheetNameOf(d.direction), documentTypeName(d.type), d.number, store::dateText(d.date),
                          d.counterparty.name.toUpper(), p.newIndex >= 0 ? QStringLiteral(" (nuovo)") : QString(),
                          d.rows.size() == 1 ? QStringLiteral("1 riga") : QStringLiteral("%1 righe").arg(d.rows.size()),
                          amountText(total), p.source);
    }
    for (const Skipped &s : plan.skipped)
        lines << QStringLiteral("Saltato: %1 - %2").arg(s.source, s.reason);
    return lines;
}

QString reportText(const Plan &plan, const Applied *applied)
{
    QStringList lines;
    if (!plan.error.isEmpty())
        return plan.error;
    if (applied && !applied->ok) {
        lines << applied->error;
    } else {
        const int incassi = applied ? applied->rowsIncassi : plan.rowCount(Direction::Sale);
        const int pagamenti = applied ? applied->rowsPagamenti : plan.rowCount(Direction::Purchase);
        lines << (applied ? QStringLiteral("Fatture importate: %1") : QStringLiteral("Fatture da importare: %1"))
                     .arg(plan.invoices.size());
        lines << QStringLiteral("Righe in Incassi: %1; righe in Pagamenti: %2; nuovi clienti/fornitori: %3")
                     .arg(incassi).arg(pagamenti).arg(plan.newCounterparties.size());
    }
    lines << QStringLiteral("File saltati: %1").arg(plan.skipped.size());
    for (const Skipped &s : plan.skipped)
        lines << QStringLiteral("  %1 - %2").arg(s.source, s.reason);
    lines << QStringLiteral("Le firme digitali delle buste .p7m non sono verificate.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace einvoice
