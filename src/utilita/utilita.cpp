#include "utilita/utilita.h"

#include "controls/dialogs.h"
#include "controls/fieldrules.h"
#include "controls/formparts.h"
#include "controls/xpbutton.h"
#include "records/causali.h"
#include "records/office.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

namespace utilita {

namespace {

enum class Typing { Free, Digits, UpperCase };

struct StudioField {
    QString records::Office::*member;
    const char *label;
    Typing typing;
    int limit;   // 0: none
};

// The office's fields, in the order of the sheet "Studio".
constexpr StudioField kStudio[] = {
    {&records::Office::name, "Ragione sociale", Typing::UpperCase, 80},
    {&records::Office::vat, "Partita IVA", Typing::Digits, 11},
    {&records::Office::taxCode, "Codice fiscale", Typing::UpperCase, 16},
    {&records::Office::address, "Indirizzo", Typing::UpperCase, 70},
    {&records::Office::postCode, "CAP", Typing::Digits, 5},
    {&records::Office::town, "Città", Typing::UpperCase, 50},
    {&records::Office::province, "Provincia", Typing::UpperCase, 2},
    {&records::Office::phone, "Telefono", Typing::Free, 30},
    {&records::Office::email, "E-mail", Typing::Free, 60},
    {&records::Office::iban, "IBAN", Typing::UpperCase, 27},
};

const QString kFilter = QStringLiteral("Fatture elettroniche (*.xml *.XML *.p7m *.P7M *.zip *.ZIP);;Tutti i file (*)");

bool validTaxCode(const QString &code)
{
    static const QRegularExpression person(QStringLiteral("^[A-Z0-9]{16}$"));
    static const QRegularExpression company(QStringLiteral("^[0-9]{11}$"));
    return person.match(code).hasMatch() || company.match(code).hasMatch();
}

} // namespace

Utilita::Utilita(controls::Session &session, QWidget *parent)
    : Form(session, parent)
{
    setObjectName(QStringLiteral("Utilita"));
    setWindowTitle(QStringLiteral("Utilità/Causali"));
    resize(760, 520);
    auto *layout = new QVBoxLayout(this);
    Tab1 = controls::makeNamed<QTabWidget>(this, "Tab1");
    layout->addWidget(Tab1);

    Tab1->addTab(buildStudioPage(), QStringLiteral("Dati dello studio"));
    Tab1->addTab(buildCausaliPage(), QStringLiteral("Causali"));
    Tab1->addTab(buildImportPage(), QStringLiteral("Importa fatture elettroniche"));

    XPButton11 = controls::makeFormButton(this, "XPButton11", QStringLiteral("Chiudi"));
    XPButton11->setMinimumSize(120, 26);
    layout->addWidget(XPButton11, 0, Qt::AlignRight);

    connect(XPButton1, &controls::XPButton::clicked, this, &Utilita::salvaStudio);
    connect(XPButton2, &controls::XPButton::clicked, this, &Utilita::aggiungiCausale);
    connect(XPButton3, &controls::XPButton::clicked, this, &Utilita::rinominaCausale);
    connect(XPButton4, &controls::XPButton::clicked, this, &Utilita::eliminaCausale);
    connect(XPButton5, &controls::XPButton::clicked, this, [this] { spostaCausale(-1); });
    connect(XPButton6, &controls::XPButton::clicked, this, [this] { spostaCausale(1); });
    connect(XPButton7, &controls::XPButton::clicked, this, &Utilita::scegliFile);
    connect(XPButton8, &controls::XPButton::clicked, this, &Utilita::scegliCartella);
    connect(XPButton9, &controls::XPButton::clicked, this, &Utilita::anteprima);
    connect(XPButton10, &controls::XPButton::clicked, this, &Utilita::importa);
    connect(XPButton11, &controls::XPButton::clicked, this, &Utilita::chiudi);
    connect(List1, &QListWidget::currentTextChanged, Text11, &QLineEdit::setText);
}

// The office's data: one line per field of the sheet "Studio", then "Salva".
QWidget *Utilita::buildStudioPage()
{
    auto *studioPage = new QWidget;
    auto *form = new QFormLayout(studioPage);
    for (size_t i = 0; i < studio.size(); ++i) {
        const StudioField &field = kStudio[i];
        auto *line = new QLineEdit(studioPage);
        line->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        if (field.typing == Typing::Digits)
            controls::rules::attachDigitFilter(line);
        if (field.typing == Typing::UpperCase)
            controls::rules::attachUpperCase(line);
        controls::rules::applyLimit(line, field.limit);
        form->addRow(QString::fromUtf8(field.label), line);
        studio[i] = line;
    }
    XPButton1 = controls::makeFormButton(studioPage, "XPButton1", QStringLiteral("Salva"));
    form->addRow(QString(), XPButton1);
    return studioPage;
}

// The causali: the list, the name being edited, and the buttons that change the list.
QWidget *Utilita::buildCausaliPage()
{
    auto *causaliPage = new QWidget;
    auto *grid = new QGridLayout(causaliPage);
    List1 = controls::makeNamed<QListWidget>(causaliPage, "List1");
    Text11 = controls::makeNamed<QLineEdit>(causaliPage, "Text11");
    controls::rules::applyLimit(Text11, 40);
    XPButton2 = controls::makeFormButton(causaliPage, "XPButton2", QStringLiteral("Aggiungi"));
    XPButton3 = controls::makeFormButton(causaliPage, "XPButton3", QStringLiteral("Rinomina"));
    XPButton4 = controls::makeFormButton(causaliPage, "XPButton4", QStringLiteral("Elimina"));
    XPButton5 = controls::makeFormButton(causaliPage, "XPButton5", QStringLiteral("Su"));
    XPButton6 = controls::makeFormButton(causaliPage, "XPButton6", QStringLiteral("Giù"));
    grid->addWidget(List1, 0, 0, 6, 1);
    grid->addWidget(new QLabel(QStringLiteral("Causale:"), causaliPage), 0, 1);
    grid->addWidget(Text11, 1, 1);
    int row = 2;
    for (controls::XPButton *b : {XPButton2, XPButton3, XPButton4, XPButton5, XPButton6}) {
        b->setMinimumSize(160, 24);
        grid->addWidget(b, row++, 1);
    }
    return causaliPage;
}

// The import: the choice of files or a folder, the chosen ones, the preview and the report.
QWidget *Utilita::buildImportPage()
{
    auto *importPage = new QWidget;
    auto *importLayout = new QVBoxLayout(importPage);
    auto *choose = new QHBoxLayout;
    XPButton7 = controls::makeFormButton(importPage, "XPButton7", QStringLiteral("Scegli file..."));
    XPButton8 = controls::makeFormButton(importPage, "XPButton8", QStringLiteral("Scegli cartella..."));
    XPButton9 = controls::makeFormButton(importPage, "XPButton9", QStringLiteral("Anteprima"));
    XPButton10 = controls::makeFormButton(importPage, "XPButton10", QStringLiteral("Importa"));
    for (controls::XPButton *b : {XPButton7, XPButton8, XPButton9, XPButton10}) {
        b->setMinimumSize(150, 24);
        choose->addWidget(b);
    }
    XPButton10->setEnabled(false);
    List2 = controls::makeNamed<QListWidget>(importPage, "List2");
    List2->setMaximumHeight(90);
    Text12 = controls::makeNamed<QPlainTextEdit>(importPage, "Text12");
    Text12->setReadOnly(true);
    Text12->setLineWrapMode(QPlainTextEdit::NoWrap);
    importLayout->addLayout(choose);
    importLayout->addWidget(List2);
    importLayout->addWidget(Text12, 1);
    return importPage;
}

void Utilita::message(const QString &text)
{
    if (session().dialogs)
        session().dialogs->message(controls::BoxKind::Plain, text, controls::titles::kTitle);
}

void Utilita::activate()
{
    loadStudio();
    loadCausali();
    // A preview made before the form was left may no longer hold: it is made again.
    m_plan.reset();
    XPButton10->setEnabled(false);
}

void Utilita::loadStudio()
{
    const records::Office office = records::readOffice(session().workbook());
    for (size_t i = 0; i < studio.size(); ++i)
        studio[i]->setText(office.*kStudio[i].member);
}

void Utilita::loadCausali()
{
    List1->clear();
    List1->addItems(records::readCausali(session().workbook()));
    Text11->clear();
}

void Utilita::salvaStudio()
{
    records::Office office;
    for (size_t i = 0; i < studio.size(); ++i)
        office.*kStudio[i].member = studio[i]->text().trimmed();
    if (!office.vat.isEmpty() && office.vat.size() != 11) {
        message(QStringLiteral("La partita IVA deve avere 11 cifre."));
        studio[1]->setFocus();
        return;
    }
    if (!office.taxCode.isEmpty() && !validTaxCode(office.taxCode)) {
        message(QStringLiteral("Il codice fiscale deve avere 16 caratteri (11 cifre per una società)."));
        studio[2]->setFocus();
        return;
    }
    if (office == records::readOffice(session().workbook())) {
        message(QStringLiteral("Nessuna modifica da salvare."));
        return;
    }
    try {
        records::writeOffice(session().workbook(), office);
    } catch (const std::exception &e) {
        controls::reportStoreError(session().dialogs, e);
        return;
    }
    message(QStringLiteral("Dati dello studio salvati."));
}

void Utilita::saveCausali(const QStringList &names)
{
    try {
        records::writeCausali(session().workbook(), names);
    } catch (const std::exception &e) {
        controls::reportStoreError(session().dialogs, e);
    }
    const int current = List1->currentRow();
    loadCausali();
    List1->setCurrentRow(std::min(current, List1->count() - 1));
}

static QStringList itemsOf(const QListWidget *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void Utilita::aggiungiCausale()
{
    const QString name = Text11->text().trimmed();
    QStringList names = itemsOf(List1);
    if (name.isEmpty() || names.contains(name, Qt::CaseInsensitive)) {
        message(name.isEmpty() ? QStringLiteral("Scrivi il nome della causale.")
                               : QStringLiteral("La causale esiste già."));
        Text11->setFocus();
        return;
    }
    names << name;
    saveCausali(names);
    List1->setCurrentRow(List1->count() - 1);
}

void Utilita::rinominaCausale()
{
    const int row = List1->currentRow();
    const QString name = Text11->text().trimmed();
    if (row < 0 || name.isEmpty()) {
        message(QStringLiteral("Scegli la causale e scrivi il nuovo nome."));
        return;
    }
    QStringList names = itemsOf(List1);
    for (int i = 0; i < names.size(); ++i)
        if (i != row && names[i].compare(name, Qt::CaseInsensitive) == 0) {
            message(QStringLiteral("La causale esiste già."));
            return;
        }
    names[row] = name;
    saveCausali(names);
}

void Utilita::eliminaCausale()
{
    const int row = List1->currentRow();
    if (row < 0) {
        message(QStringLiteral("Scegli la causale da eliminare."));
        return;
    }
    QStringList names = itemsOf(List1);
    if (session().dialogs->message(controls::BoxKind::Question,
                                   QStringLiteral("Vuoi eliminare la causale \"%1\" ?").arg(names[row]),
                                   controls::titles::kTitle, controls::Answer::No) != controls::Answer::Yes)
        return;
    names.removeAt(row);
    saveCausali(names);
}

void Utilita::spostaCausale(int by)
{
    const int row = List1->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= List1->count())
        return;
    QStringList names = itemsOf(List1);
    names.swapItemsAt(row, to);
    saveCausali(names);
    List1->setCurrentRow(to);
}

void Utilita::addChosen(const QStringList &paths)
{
    for (const QString &path : paths)
        if (List2->findItems(path, Qt::MatchExactly).isEmpty())
            List2->addItem(path);
    m_plan.reset();
    XPButton10->setEnabled(false);
}

void Utilita::scegliFile()
{
    addChosen(session().dialogs->chooseFiles(QStringLiteral("Scegli le fatture elettroniche"), false, kFilter));
}

void Utilita::scegliCartella()
{
    addChosen(session().dialogs->chooseFiles(QStringLiteral("Scegli la cartella delle fatture elettroniche"), true, {}));
}

void Utilita::anteprima()
{
    m_plan.reset();
    XPButton10->setEnabled(false);
    if (List2->count() == 0) {
        message(QStringLiteral("Scegli prima i file o la cartella delle fatture."));
        return;
    }
    const records::Office office = records::readOffice(session().workbook());
    const einvoice::Identity identity{office.vat, office.taxCode};
    if (identity.isEmpty()) {
        message(QStringLiteral("Compila e salva prima la partita IVA o il codice fiscale dello studio."));
        Tab1->setCurrentIndex(0);
        studio[1]->setFocus();
        return;
    }
    einvoice::Plan plan = einvoice::plan(session().workbook(), identity, itemsOf(List2));
    QStringList lines;
    lines << QStringLiteral("Anteprima: %1 fatture da importare (%2 righe in Incassi, %3 in Pagamenti), "
                            "%4 nuovi clienti/fornitori, %5 file saltati.")
                 .arg(plan.invoices.size())
                 .arg(plan.rowCount(einvoice::Direction::Sale))
                 .arg(plan.rowCount(einvoice::Direction::Purchase))
                 .arg(plan.newCounterparties.size())
                 .arg(plan.skipped.size());
    lines << QString() << einvoice::previewLines(plan);
    Text12->setPlainText(lines.join(QLatin1Char('\n')));
    if (!plan.invoices.empty()) {
        m_plan = std::move(plan);
        XPButton10->setEnabled(true);
    }
}

void Utilita::importa()
{
    if (!m_plan) {
        message(QStringLiteral("Fai prima l'anteprima."));
        return;
    }
    const int rows = m_plan->rowCount(einvoice::Direction::Sale) + m_plan->rowCount(einvoice::Direction::Purchase);
    if (session().dialogs->message(controls::BoxKind::Question,
                                   QStringLiteral("Vuoi importare %1 fatture (%2 righe) ?").arg(m_plan->invoices.size()).arg(rows),
                                   controls::titles::kTitle) != controls::Answer::Yes)
        return;
    const einvoice::Applied applied = einvoice::apply(session().workbook(), *m_plan);
    Text12->setPlainText(einvoice::reportText(*m_plan, &applied));
    m_plan.reset();
    XPButton10->setEnabled(false);
    if (!applied.ok) {
        session().dialogs->message(controls::BoxKind::Critical, applied.error, controls::titles::kTitle);
        return;
    }
    List2->clear();
    message(QStringLiteral("Importazione conclusa: %1 fatture, %2 righe.").arg(applied.invoices)
                .arg(applied.rowsIncassi + applied.rowsPagamenti));
}

void Utilita::chiudi()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

} // namespace utilita
