#include "ledgerform.h"

#include "recordcolumns.h"

#include "controls/dialogs.h"
#include "controls/clock.h"
#include "controls/fieldrules.h"
#include "controls/formparts.h"
#include "controls/xpbutton.h"
#include "records/causali.h"
#include "records/ledger.h"
#include "records/recordnumber.h"
#include "records/registry.h"
#include "store/model/errors.h"
#include "store/model/italian.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace ledger {

namespace {

const QString kSeleziona = QStringLiteral("Seleziona");

// Message texts and titles, blanks included.
const QString kInsertQuestion = QStringLiteral(" Vuoi Inserire questa Registrazione ?");
const QString kInsertDone = QStringLiteral("Registrazione  conclusa !");
const QString kChangeDone = QStringLiteral(" Registrazione  modificata");
const QString kDeleteQuestion = QStringLiteral(" Vuoi ELIMINARE  questa Registrazione ?");
const QString kDeleteDone = QStringLiteral(" Registrazione  eliminata ");
using namespace controls::titles;
const QString kNumberRefused = QStringLiteral("Il campo ID deve contenere un numero intero maggiore di zero");
const QString kNumberTaken = QStringLiteral("Il numero %1 appartiene già a un'altra registrazione");
const QString kCounterpartyGone = QStringLiteral("\"%1\" non è più in anagrafica: sceglierlo di nuovo dall'elenco.");


// A record button: the forms' style, at least the size of the form's buttons.
controls::XPButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QString &tip = {})
{
    controls::XPButton *button = controls::makeFormButton(parent, name, caption, tip);
    button->setMinimumSize(controls::twips(1335), controls::twips(375));
    return button;
}

QLabel *newLabel(QWidget *parent, const QString &text)
{
    return new QLabel(text, parent);
}

QLineEdit *makeField(QWidget *parent, const char *name)
{
    return controls::makeNamed<QLineEdit>(parent, name);
}

QCheckBox *makeBox(QWidget *parent, const char *name, const QString &caption)
{
    return controls::makeNamed<QCheckBox>(parent, name, caption);
}

QComboBox *makeCombo(QWidget *parent, const char *name)
{
    auto *combo = controls::makeNamed<QComboBox>(parent, name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

// The means combos offer the causali of "Utilità/Causali"; what is typed or loaded stays.
void offerCausali(store::Workbook &book, std::initializer_list<QComboBox *> combos)
{
    const QStringList causali = records::readCausali(book);
    for (QComboBox *combo : combos) {
        const QString typed = combo->currentText();
        combo->clear();
        combo->addItems(causali);
        combo->setEditText(typed);
    }
}

QString flagText(const QCheckBox *box)
{
    return box->isChecked() ? QStringLiteral("SI") : QStringLiteral("NO");
}

void applyFlag(QCheckBox *box, const QString &text)
{
    if (text == QLatin1String("SI"))
        box->setChecked(true);
    else if (text == QLatin1String("NO"))
        box->setChecked(false);
}

} // namespace

LedgerForm::LedgerForm(controls::Session &session, LedgerProfile profile, QWidget *parent)
    : controls::Form(session, parent)
    , m_profile(std::move(profile))
{
    setWindowTitle(m_profile.caption);
    buildControls();
    buildLayout();
    wireBehaviour();
    tick();
    Timer2->start();
}

LedgerForm::~LedgerForm() = default;

void LedgerForm::buildControls()
{
    buildCounterpartyRow();
    buildInvoiceRow();
    buildSettlementRows();
    buildNoteAndCalendar();
    const controls::FooterLabels footer = controls::makeFooterLabels(this);
    Label14 = footer.notice;
    Label15 = footer.clock;
    Label16 = footer.spare;
    Timer2 = controls::makeClockTimer(this, "Timer2");
    buildRecordButtons();
    // Until an opener says otherwise the form is ready for a new record.
    setButtonsForNewEntry();
}

void LedgerForm::buildCounterpartyRow()
{
    Label1 = new QLabel(m_profile.label1Design, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Combo1 = makeCombo(this, "Combo1");
    // A counterparty is chosen from the list (the drop-down or the arrow keys), never by
    // typing: no completion of a typed name, and neither Enter nor leaving the box picks
    // the entry that happens to carry the typed text.
    Combo1->setCompleter(nullptr);
    QObject::disconnect(Combo1->lineEdit(), &QLineEdit::editingFinished, Combo1, nullptr);
    QObject::disconnect(Combo1->lineEdit(), &QLineEdit::returnPressed, Combo1, nullptr);
    Combo1->setEditText(kSeleziona);
    XPButton1 = makeButton(this, "XPButton1", m_profile.newCaption);
}

void LedgerForm::buildInvoiceRow()
{
    Text1 = makeField(this, "Text1");
    Check1 = makeBox(this, "Check1", QStringLiteral("S"));
    Text2 = makeField(this, "Text2");
    Check8 = makeBox(this, "Check8", QStringLiteral("S"));
    Text3 = makeField(this, "Text3");
    Text10 = makeField(this, "Text10");
    Text12 = makeField(this, "Text12");
    Text10->setReadOnly(!m_profile.numbersEditable);
    Text12->setReadOnly(!m_profile.numbersEditable);
}

void LedgerForm::buildSettlementRows()
{
    Text4 = makeField(this, "Text4");
    Check2 = makeBox(this, "Check2", m_profile.statusCaption);
    Check3 = makeBox(this, "Check3", QStringLiteral("S"));
    Text5 = makeField(this, "Text5");
    Combo2 = makeCombo(this, "Combo2");

    Text7 = makeField(this, "Text7");
    Check4 = makeBox(this, "Check4", QStringLiteral("Acconto"));
    Check5 = makeBox(this, "Check5", QStringLiteral("S"));
    Text6 = makeField(this, "Text6");
    Combo3 = makeCombo(this, "Combo3");

    Text9 = makeField(this, "Text9");
    Check6 = makeBox(this, "Check6", QStringLiteral("Saldato"));
    Check7 = makeBox(this, "Check7", QStringLiteral("S"));
    Text8 = makeField(this, "Text8");
    Combo4 = makeCombo(this, "Combo4");
}

void LedgerForm::buildNoteAndCalendar()
{
    Text11 = new QPlainTextEdit(this);
    Text11->setObjectName(QStringLiteral("Text11"));
    Text11->setTabChangesFocus(true);

    MonthView1 = new QCalendarWidget(this);
    MonthView1->setObjectName(QStringLiteral("MonthView1"));
    MonthView1->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    MonthView1->setFirstDayOfWeek(Qt::Monday);
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthView1->setGridVisible(true);
    MonthView1->hide();
}

void LedgerForm::buildRecordButtons()
{
    XPButton4 = makeButton(this, "XPButton4", QStringLiteral("Inserisci"), QStringLiteral("Inserisci la registrazione"));
    XPButton3 = makeButton(this, "XPButton3", QStringLiteral("Modifica"), QStringLiteral("Modifica la registrazione"));
    XPButton5 = makeButton(this, "XPButton5", QStringLiteral("Cancella"), QStringLiteral("Pulisci i campi"));
    XPButton6 = makeButton(this, "XPButton6", QStringLiteral("Elimina"), QStringLiteral("Elimina la registrazione"));
    XPButton2 = makeButton(this, "XPButton2", QStringLiteral("Chiudi"), QStringLiteral("Esci"));
}

void LedgerForm::buildLayout()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 8);
    outer->setSpacing(6);

    outer->addWidget(Label15);
    layoutCounterpartyRow(outer);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    layoutInvoiceRow(grid);
    layoutSettlementRows(grid);
    for (QLineEdit *f : {Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9})
        f->setMinimumWidth(controls::twips(1400));
    Text10->setMinimumWidth(controls::twips(900));
    Text12->setMinimumWidth(controls::twips(900));
    outer->addLayout(grid);

    // The note takes whatever height the window has to spare, so the rows above keep
    // their captions next to their fields.
    Text11->setMinimumHeight(controls::twips(900));
    outer->addWidget(Text11, 1);

    layoutButtonsAndFooter(outer);

    m_invoiceAnchor = Text3;
    resize(controls::twips(11400), controls::twips(7600));
}

void LedgerForm::layoutCounterpartyRow(QVBoxLayout *outer)
{
    auto *top = new QGridLayout;
    top->addWidget(Label1, 0, 0);
    top->addWidget(Combo1, 1, 0);
    top->addWidget(XPButton1, 1, 1);
    top->setColumnStretch(0, 1);
    top->setColumnStretch(2, 1);
    Combo1->setMinimumWidth(controls::twips(4500));
    outer->addLayout(top);
}

void LedgerForm::layoutInvoiceRow(QGridLayout *grid)
{
    grid->addWidget(newLabel(this, QStringLiteral("Numero Fattura")), 0, 0);
    grid->addWidget(newLabel(this, QStringLiteral("Data 00/00/0000")), 0, 2);
    grid->addWidget(newLabel(this, QStringLiteral("Scadenza")), 0, 4);
    grid->addWidget(newLabel(this, QStringLiteral("ID ")), 0, 5);
    grid->addWidget(newLabel(this, QStringLiteral("ID Cliente")), 0, 6);
    grid->addWidget(Text1, 1, 0);
    grid->addWidget(Check1, 1, 1);
    grid->addWidget(Text2, 1, 2);
    grid->addWidget(Check8, 1, 3);
    grid->addWidget(Text3, 1, 4);
    grid->addWidget(Text10, 1, 5);
    grid->addWidget(Text12, 1, 6);
}

void LedgerForm::layoutSettlementRows(QGridLayout *grid)
{
    // Three settlement rows: amount, status, date selector, date, means.
    struct Group { QLineEdit *amount; QCheckBox *status; QCheckBox *selector; QLineEdit *date; QComboBox *means; };
    const Group groups[3] = {
        {Text4, Check2, Check3, Text5, Combo2},
        {Text7, Check4, Check5, Text6, Combo3},
        {Text9, Check6, Check7, Text8, Combo4},
    };
    int row = 2;
    for (int i = 0; i < 3; ++i) {
        const Group &g = groups[i];
        grid->addWidget(newLabel(this, QStringLiteral("Importo ")), row, 0);
        grid->addWidget(newLabel(this, QStringLiteral("Data")), row, 4);
        meansLabels[i] = newLabel(this, m_profile.meansLabel);
        grid->addWidget(meansLabels[i], row, 5, 1, 2);
        grid->addWidget(g.amount, row + 1, 0);
        grid->addWidget(g.status, row + 1, 1, 1, 2);
        grid->addWidget(g.selector, row + 1, 3);
        grid->addWidget(g.date, row + 1, 4);
        grid->addWidget(g.means, row + 1, 5, 1, 2);
        row += 2;
    }
}

void LedgerForm::layoutButtonsAndFooter(QVBoxLayout *outer)
{
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    for (controls::XPButton *b : {XPButton4, XPButton3, XPButton5, XPButton6, XPButton2}) {
        b->setFixedHeight(controls::twips(495));
        buttons->addWidget(b);
    }
    XPButton1->setFixedHeight(controls::twips(375));
    outer->addLayout(buttons);

    auto *foot = new QHBoxLayout;
    foot->addWidget(Label14);
    foot->addStretch(1);
    foot->addWidget(Label16);
    outer->addLayout(foot);
}

void LedgerForm::wireBehaviour()
{
    connect(Combo1, qOverload<int>(&QComboBox::activated), this, &LedgerForm::counterpartyChosen);
    for (QCheckBox *selector : {Check1, Check8, Check3, Check5, Check7})
        connect(selector, &QCheckBox::toggled, this, [this, selector] { selectorToggled(selector); });
    connect(MonthView1, &QCalendarWidget::clicked, this, [this] { dateClicked(); });
    connect(MonthView1, &QCalendarWidget::activated, this, [this] { dateClicked(); });

    controls::Dialogs &dialogs = *session().dialogs;
    for (QLineEdit *date : {Text2, Text3, Text5, Text6, Text8})
        controls::rules::attachDateCheck(date, dialogs);
    for (QLineEdit *amount : {Text4, Text7, Text9}) {
        controls::rules::attachAmountFilter(amount);
        controls::rules::attachAmountCheck(amount, dialogs);
    }

    connect(Timer2, &QTimer::timeout, this, &LedgerForm::tick);
    connect(XPButton1, &controls::XPButton::clicked, this, &LedgerForm::counterpartyButton);
    connect(XPButton4, &controls::XPButton::clicked, this, &LedgerForm::inserisci);
    connect(XPButton3, &controls::XPButton::clicked, this, &LedgerForm::modifica);
    connect(XPButton6, &controls::XPButton::clicked, this, &LedgerForm::elimina);
    connect(XPButton5, &controls::XPButton::clicked, this, &LedgerForm::cancella);
    connect(XPButton2, &controls::XPButton::clicked, this, &LedgerForm::chiudi);
}

void LedgerForm::resizeEvent(QResizeEvent *event)
{
    controls::Form::resizeEvent(event);
    placeCalendar();
}


void LedgerForm::placeCalendar()
{
    // Over the right-hand part of the invoice and settlement rows.
    const QSize hint = MonthView1->sizeHint();
    const int top = m_invoiceAnchor ? m_invoiceAnchor->mapTo(this, QPoint(0, 0)).y() : 80;
    const int width = std::min(hint.width(), std::max(200, this->width() - 24));
    MonthView1->setGeometry(this->width() - width - 12, top, width, hint.height());
    MonthView1->raise();
}

// ---- Modes and activation ----------------------------------------------------------------

void LedgerForm::openForNewRecord()
{
    m_returnTo.reset();
    setButtonsForNewEntry();
    // Back from the "Nuovo Cliente" detour the record half typed stays; the list is filled
    // again by the activation, with the new counterparty in it.
    m_clearOnActivation = !m_onDetour;
    m_onDetour = false;
    showForm();
}

void LedgerForm::openForChange(const QStringList &columns, std::optional<controls::FormId> returnTo)
{
    m_onDetour = false;
    m_returnTo = returnTo;
    loadRecord(columns);
    setButtonsForChange();
    showForm();
}

void LedgerForm::setButtonsForNewEntry()
{
    Text10->setReadOnly(!m_profile.numbersEditable);
    XPButton3->setEnabled(false);
    XPButton4->setEnabled(true);
    XPButton6->setEnabled(false);
}

void LedgerForm::setButtonsForChange()
{
    // Change and delete act on the record handed over: its number is not typed over.
    Text10->setReadOnly(true);
    XPButton3->setEnabled(true);
    XPButton4->setEnabled(false);
    XPButton6->setEnabled(true);
}

bool LedgerForm::isChangeMode() const
{
    return XPButton3->isEnabled();
}

void LedgerForm::activate()
{
    try {
        if (!XPButton3->isEnabled()) {
            XPButton5->setEnabled(true);
            XPButton1->setCaption(m_profile.newCaption);
            Label1->setText(m_profile.label1NewEntry);
            MonthView1->hide();
            ledger().ensureCounter();
            // Coming back to the form (from the print form, a message, the menu's detour)
            // keeps what was typed; only the menu's opening for a new record clears it.
            const bool clear = m_clearOnActivation;
            m_clearOnActivation = false;
            const QString typedName = Combo1->currentText();
            if (clear)
                pulisciCampi();
            caricaSoggetti();
            Combo1->setFocus();
            Combo1->setEditText(clear || typedName.isEmpty() ? kSeleziona : typedName);
        }
        if (XPButton3->isEnabled()) {
            MonthView1->hide();
            XPButton5->setEnabled(false);
            XPButton1->setCaption(m_profile.changeCaption);
            if (!m_profile.label1ChangeMode.isEmpty())
                Label1->setText(m_profile.label1ChangeMode);
        }
        // After the mode's own steps, so that a workbook that cannot be read still leaves
        // the captions of the mode.
        offerCausali(session().workbook(), {Combo2, Combo3, Combo4});
    } catch (const std::exception &e) {
        reportStoreError(e);
    }
}

void LedgerForm::loadRecord(const QStringList &columns)
{
    auto col = [&columns](int index) { return index < columns.size() ? columns.at(index) : QString(); };
    m_handedKey = col(0);
    for (const RecordColumn &bound : kRecordColumns)
        setColumnText(bound, col(bound.column - 1));
}

QWidget *LedgerForm::control(const RecordColumn &bound) const
{
    return findChild<QWidget *>(QLatin1String(bound.control));
}

QString LedgerForm::columnText(const RecordColumn &bound) const
{
    QWidget *w = control(bound);
    switch (bound.shown) {
    case Shown::Text:
    case Shown::Date:
        return static_cast<QLineEdit *>(w)->text();
    case Shown::Choice:
        return static_cast<QComboBox *>(w)->currentText();
    case Shown::Flag:
        return flagText(static_cast<QCheckBox *>(w));
    case Shown::Note:
        return static_cast<QPlainTextEdit *>(w)->toPlainText();
    }
    return {};
}

void LedgerForm::setColumnText(const RecordColumn &bound, const QString &text)
{
    QWidget *w = control(bound);
    switch (bound.shown) {
    case Shown::Text:
    case Shown::Date:
        if (records::Ledger::isAmountColumn(bound.column))
            controls::rules::showAmount(static_cast<QLineEdit *>(w), text);
        else
            static_cast<QLineEdit *>(w)->setText(text);
        break;
    case Shown::Choice:
        static_cast<QComboBox *>(w)->setEditText(text);
        break;
    case Shown::Flag:
        applyFlag(static_cast<QCheckBox *>(w), text);
        break;
    case Shown::Note:
        static_cast<QPlainTextEdit *>(w)->setPlainText(text);
        break;
    }
}

records::LedgerEntry LedgerForm::entry() const
{
    records::LedgerEntry entry;
    for (const RecordColumn &bound : kRecordColumns)
        entry[bound.column] = columnText(bound);
    return entry;
}

records::Ledger LedgerForm::ledger() const
{
    return records::Ledger::of(session().workbook(), m_profile.sheet);
}

// ---- Counterparty list -------------------------------------------------------------------

void LedgerForm::caricaSoggetti()
{
    // Removing the entries empties the edit field too, so every fill, also the one of
    // "Modifica Cliente", starts from "Seleziona".
    Combo1->clear();
    m_listedRows.clear();
    Combo1->setEditText(QString());
    if (Combo1->currentText().isEmpty())
        Combo1->setEditText(kSeleziona);

    try {
        const records::Registry registry = records::Registry::of(session().workbook());
        registry.select();
        QStringList names;
        for (const records::Entry &listed : registry.entries(m_profile.kindLetter)) {
            names.append(listed.name);
            m_listedRows.push_back(listed.row);
        }
        // Adding the entries must not replace what the edit field shows, nor choose one:
        // with no current entry the Down arrow lands on the first.
        const QString shown = Combo1->currentText();
        Combo1->addItems(names);
        Combo1->setCurrentIndex(-1);
        Combo1->setEditText(shown);
    } catch (const std::exception &e) {
        reportStoreError(e);
    }
}

void LedgerForm::counterpartyChosen(int index)
{
    if (index < 0 || size_t(index) >= m_listedRows.size())
        return;
    // The list may be older than the registry (a counterparty deleted or added since it was
    // filled): the chosen name is looked up as the registry is now, the same one among
    // namesakes, and the list is brought up to date.
    const QString name = Combo1->itemText(index);
    int namesake = 0;
    for (int i = 0; i < index; ++i)
        namesake += Combo1->itemText(i) == name ? 1 : 0;
    try {
        const records::Registry registry = records::Registry::of(session().workbook());
        const std::vector<records::Entry> now = registry.entries(m_profile.kindLetter);
        std::optional<int> row;
        for (const records::Entry &listed : now)
            if (listed.name == name && namesake-- == 0) {
                row = listed.row;
                break;
            }
        bool current = now.size() == m_listedRows.size();
        for (size_t i = 0; current && i < now.size(); ++i)
            current = now[i].row == m_listedRows[i] && now[i].name == Combo1->itemText(int(i));
        if (!current) {
            caricaSoggetti();
            Combo1->setEditText(name);
        }
        if (!row) {
            session().dialogs->message(controls::BoxKind::Plain, kCounterpartyGone.arg(name), kTitle);
            Text12->clear();
            return;
        }
        Text12->setText(registry.read(*row).number().text());
    } catch (const std::exception &e) {
        reportStoreError(e);
    }
}

void LedgerForm::counterpartyButton()
{
    const QString caption = XPButton1->caption();
    if (caption == m_profile.changeCaption) {
        if (m_profile.changeButtonRefills)
            caricaSoggetti();
        return;
    }
    if (!m_profile.changeButtonRefills && caption != m_profile.newCaption)
        return;
    if (controls::showForm(session(), controls::FormId::Anagrafe)) {
        m_onDetour = true;   // the record half typed waits for the new counterparty
        hide();
    }
}

// ---- Date selectors and calendar ---------------------------------------------------------

void LedgerForm::selectorToggled(QCheckBox *selector)
{
    // Each state change of a selector runs this, also when the program makes it; the nested
    // runs give the cascade: a second selector ticked leaves all five clear.
    if (selector->isChecked()) {
        MonthView1->setSelectedDate(session().clock->now().date());
        placeCalendar();
        MonthView1->show();
        for (QCheckBox *other : {Check1, Check8, Check3, Check5, Check7}) {
            if (other != selector)
                other->setChecked(false);
        }
    }
    if (!selector->isChecked()) {
        MonthView1->hide();
        for (QCheckBox *box : {Check1, Check3, Check5, Check7, Check8})
            box->setChecked(false);
    }
}

void LedgerForm::dateClicked()
{
    const struct { QCheckBox *selector; QLineEdit *field; } pairs[] = {
        {Check1, Text2}, {Check8, Text3}, {Check3, Text5}, {Check5, Text6}, {Check7, Text8},
    };
    for (const auto &p : pairs) {
        if (p.selector->isChecked()) {
            p.field->setText(store::dateText(MonthView1->selectedDate()));
            MonthView1->hide();
            p.selector->setChecked(false);
        }
    }
}

// ---- Clock, close, clear -----------------------------------------------------------------

void LedgerForm::tick()
{
    Label15->setText(store::clockLine(session().clock->now()));
}

void LedgerForm::cancella()
{
    pulisciCampi();
    if (m_profile.cancellaShowsSeleziona)
        Combo1->setEditText(kSeleziona);
}

void LedgerForm::chiudi()
{
    pulisciCampi();
    showMenu();
    hide();
}

void LedgerForm::showMenu()
{
    controls::showForm(session(), m_returnTo.value_or(controls::FormId::Contavio));
    m_returnTo.reset();
}

void LedgerForm::pulisciCampi()
{
    m_handedKey.reset();
    for (QLineEdit *f : {Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9, Text10, Text12})
        f->clear();
    Text11->clear();
    for (QComboBox *c : {Combo1, Combo2, Combo3, Combo4})
        c->setEditText(QString());
    for (QCheckBox *b : {Check1, Check2, Check3, Check4, Check5, Check6, Check7, Check8})
        b->setChecked(false);

    // The next record number: the counter plus 1 (an empty counter counts as 0), passed on
    // while a record carries it, so that a stale counter never blocks the insert.
    try {
        if (const std::optional<double> next = ledger().proposedNumber())
            Text10->setText(store::numberToText(*next));
    } catch (const std::exception &) {
        // Clearing never stops on the workbook.
    }
}

// ---- Record operations -------------------------------------------------------------------

bool LedgerForm::requiredFieldsPresent() const
{
    const QString name = Combo1->currentText();
    return !name.isEmpty() && name != kSeleziona && !Text1->text().isEmpty()
           && !Text2->text().isEmpty() && !Text3->text().isEmpty();
}

std::optional<double> LedgerForm::acceptedRecordNumber()
{
    const std::optional<double> number = records::recordNumber(Text10->text());
    if (!number) {
        session().dialogs->message(controls::BoxKind::Plain, kNumberRefused, kTitle);
        Text10->setFocus();
    }
    return number;
}

bool LedgerForm::datesAccepted()
{
    // The same rule as the check on leaving the field: a date that passes it is one the
    // insert stores, and one that does not is never dropped in silence.
    for (QLineEdit *date : {Text2, Text3, Text5, Text6, Text8}) {
        if (!controls::rules::dateAccepted(date->text())) {
            session().dialogs->message(controls::BoxKind::Plain, controls::rules::kDateMessage,
                                       controls::rules::kDateTitle);
            date->setFocus();
            date->selectAll();
            return false;
        }
    }
    return true;
}

bool LedgerForm::amountsAccepted()
{
    for (QLineEdit *amount : {Text4, Text7, Text9}) {
        if (!amount->text().trimmed().isEmpty() && !store::parseAmount(amount->text())) {
            session().dialogs->message(controls::BoxKind::Plain, controls::rules::kAmountMessage,
                                       controls::rules::kDateTitle);
            amount->setFocus();
            amount->selectAll();
            return false;
        }
    }
    return true;
}

QString LedgerForm::recordKeyText() const
{
    return m_handedKey ? *m_handedKey : Text10->text();
}

bool LedgerForm::requiredFieldsGiven(controls::BoxKind kind, const QString &text, const QString &title)
{
    if (requiredFieldsPresent())
        return true;
    session().dialogs->message(kind, text, title);
    Combo1->setFocus();
    return false;
}

void LedgerForm::inserisci()
{
    controls::Dialogs &dialogs = *session().dialogs;
    if (!requiredFieldsGiven(controls::BoxKind::Plain, m_profile.insertMissingText, kTitle))
        return;
    const std::optional<double> number = acceptedRecordNumber();
    if (!number || !datesAccepted() || !amountsAccepted())
        return;

    try {
        // Two records under one number would make change and delete find the wrong one.
        if (ledger().findRow(*number)) {
            dialogs.message(controls::BoxKind::Plain, kNumberTaken.arg(store::numberToText(*number)), kTitle);
            Text10->setFocus();
            return;
        }
    } catch (const std::exception &e) {
        reportStoreError(e);
        return;
    }

    // No (or Escape) goes back to the record as it was typed; "Cancella" clears it.
    if (dialogs.message(controls::BoxKind::Question, kInsertQuestion, kTitleLeading) != controls::Answer::Yes)
        return;

    std::optional<records::Ledger> sheet;
    std::optional<int> freeRow;
    try {
        sheet.emplace(ledger());
        freeRow = sheet->freeRow();
    } catch (const std::exception &e) {
        reportStoreError(e);
        return;
    }
    if (!freeRow) {
        dialogs.message(controls::BoxKind::Critical,
                        QStringLiteral("Il foglio \"%1\" è pieno: non c'è più una riga libera. "
                                       "La registrazione non è stata inserita.").arg(m_profile.sheet),
                        kTitle);
        return;
    }

    // The number checked above goes into column A as a number; from here each write that
    // fails is skipped and the next one runs.
    sheet->insertAt(*freeRow, *number, entry());

    dialogs.message(controls::BoxKind::Information, kInsertDone, kTitle);
    pulisciCampi();
}

// Makes the sheet active and finds the row of the record the form acts on; when no row
// carries it, says so and gives 0, leaving the fields for the user to correct.
int LedgerForm::selectRecordRow(const records::Ledger &sheet)
{
    sheet.select();
    const QString key = recordKeyText();
    const std::optional<double> number = records::recordNumber(key);
    const int row = number ? sheet.findRow(*number).value_or(0) : 0;
    if (row == 0)
        session().dialogs->message(controls::BoxKind::Information,
                                   QStringLiteral("Nessuna registrazione ha il numero %1")
                                       .arg(number ? store::numberToText(*number) : key.trimmed()),
                                   kTitleTrailing);
    return row;
}

bool LedgerForm::onRecordRow(const std::function<void(const records::Ledger &, int)> &act)
{
    try {
        const records::Ledger sheet = ledger();
        const int row = selectRecordRow(sheet);
        if (row == 0)
            return false;
        act(sheet, row);
    } catch (const std::exception &e) {
        reportStoreError(e);
        return false;
    }
    return true;
}

void LedgerForm::modifica()
{
    controls::Dialogs &dialogs = *session().dialogs;
    if (!requiredFieldsGiven(controls::BoxKind::Information, m_profile.changeMissingText, kTitleTrailing))
        return;
    if (!acceptedRecordNumber() || !amountsAccepted())
        return;
    const bool changed = onRecordRow([this](const records::Ledger &sheet, int row) {
        // Columns B..S as the controls show them, dates as typed.
        sheet.change(row, entry());
    });
    if (!changed)
        return;
    dialogs.message(controls::BoxKind::Plain, kChangeDone, kTitleTwoLeading);
    pulisciCampi();
    showMenu();
    hide();
}

void LedgerForm::elimina()
{
    controls::Dialogs &dialogs = *session().dialogs;
    if (dialogs.message(controls::BoxKind::Question, kDeleteQuestion, kTitleLeading, controls::Answer::No)
        != controls::Answer::Yes) {
        showMenu();
        hide();
        return;
    }
    const bool deleted = onRecordRow([this](const records::Ledger &sheet, int row) {
        sheet.remove(row);
        m_handedKey.reset();   // that record is gone
    });
    if (!deleted)
        return;
    dialogs.message(controls::BoxKind::Plain, kDeleteDone, kTitleTwoLeading);
    showMenu();
    hide();
}

void LedgerForm::reportStoreError(const std::exception &error)
{
    controls::reportStoreError(session().dialogs, error);
}

} // namespace ledger
