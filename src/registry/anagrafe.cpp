#include "anagrafe.h"

#include "controls/clock.h"
#include "controls/fieldrules.h"
#include "controls/formparts.h"
#include "controls/xpbutton.h"
#include "print/stampap.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/model/workbook.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

using controls::Answer;
using controls::twips;
using controls::BoxKind;
using records::Registry;

namespace {

// Message texts and titles, blanks included.
using namespace controls::titles;
const QString kTitleCounter = QStringLiteral(" Velturo");

const QString kEmptyName = QStringLiteral(" ERRORE- Il Campo RAGIONE SOCIALE/COGNOME deve essere compilato");
const QString kInsertQuestion = QStringLiteral(" Vuoi Inserire questo Soggetto ?");
const QString kNoType = QStringLiteral(" ERRORE, bisogna spuntare i campi Cliente o Fornitore");
const QString kInserted = QStringLiteral(" Soggetto Aggiunto");
const QString kEmptySelection = QStringLiteral(" Il campo :  COGNOME/RAGIONE SOCIALE    deve essere compilato");
const QString kChanged = QStringLiteral("Soggetto Modificato");
const QString kSelectFirst = QStringLiteral("Bisogna Selezionare il Soggetto .......");
const QString kDeleteQuestion = QStringLiteral("Si vuole Eliminare il Soggetto  Selezionato ?");
const QString kDeleted = QStringLiteral("Soggetto Eliminato");
const QString kCounterUnlocked = QStringLiteral("Ora puoi Cambiare il Progressivo compilando il campo ID PROGRESSIVO");

// Messages for the cases the operations refuse to guess at.
const QString kNoSuchEntry = QStringLiteral(
    "\"%1\" non è un soggetto scelto dall'elenco: scegli un soggetto da \"Seleziona Cliente/Fornitore\". "
    "Nessuna modifica è stata scritta.");
const QString kNotWhole = QStringLiteral(
    "ERRORE- Il campo ID PROGRESSIVO deve contenere un numero intero: il contatore non è stato cambiato");
const QString kCounterNotWhole = QStringLiteral(
    "Il contatore non contiene un numero intero: impostalo con \"Cambia IDProgressivo\" o \"Azzera Contatore \". "
    "Il soggetto non è stato inserito.");
const QString kRowMoved = QStringLiteral(
    "Il soggetto scelto non è più alla sua riga del foglio Anagrafe: sceglilo di nuovo dall'elenco. "
    "Nessuna modifica è stata scritta.");
const QString kRowMovedDelete = QStringLiteral(
    "Il soggetto scelto non è più alla sua riga del foglio Anagrafe: sceglilo di nuovo dall'elenco. "
    "Nessun soggetto è stato eliminato.");
const QString kChooseToDelete = QStringLiteral(
    "Scegliere dall'elenco il Soggetto da eliminare: nessun soggetto è stato eliminato.");
const QString kResetQuestion = QStringLiteral(
    "Vuoi azzerare il contatore? Il prossimo Soggetto riceverà il primo numero non ancora usato.");
const QString kSheetFull = QStringLiteral(
    "Il foglio Anagrafe è pieno: non c'è più una riga libera per un nuovo soggetto. "
    "Il soggetto non è stato inserito.");

const QString kComboHint = QStringLiteral("Per attivare la selezionare occorre spuntare Cliente o Fornitore");
const QString kFiscalHint = QStringLiteral("Il codice fiscale si compone di 16 caratteri alfanumerici");
const QString kIbanHint = QStringLiteral("IBAN di compone di 27 caratteri alfanumerici");
const QString kNotice = QStringLiteral("Contavio - anagrafica di clienti e fornitori");

const QColor kLightYellow(255, 255, 192);

// The selection list's text area is for looking, not for choosing: a typed text is never
// "acceptable", so the line edit never reports it finished, and the list never turns an
// entry's name typed and confirmed with Enter, or left behind, into a choice. Entries are
// chosen from the drop-down or with the arrow keys only.
class TypedTextChoosesNothing : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &, int &) const override { return Intermediate; }
};

using store::skipOnFailure;

// A grid of captions over their controls: each line of the form takes two grid rows, the
// caption's and the control's; the captions below the first line keep a little room above.
struct CaptionGrid {
    explicit CaptionGrid(QWidget *owner) : form(owner), grid(new QGridLayout)
    {
        grid->setHorizontalSpacing(twips(120));
        grid->setVerticalSpacing(twips(15));
        for (int c = 0; c < 12; ++c)
            grid->setColumnStretch(c, 1);
    }
    QLabel *caption(const QString &text, QWidget *buddy, int column, int span)
    {
        auto *label = new QLabel(text, form);
        label->setBuddy(buddy);
        if (row > 0)
            label->setContentsMargins(0, twips(75), 0, 0);
        grid->addWidget(label, row, column, 1, span);
        return label;
    }
    void place(const QString &text, QWidget *control, int column, int span)
    {
        caption(text, control, column, span);
        grid->addWidget(control, row + 1, column, 1, span);
    }
    void nextLine() { row += 2; }

    QWidget *form;
    QGridLayout *grid;
    int row = 0;
};

// The reasons for which a field really is left inside the form; the focus also "leaves"
// when the window loses activation or a popup or the menu bar takes it for a moment.
bool leftInsideForm(const QFocusEvent *event)
{
    switch (event->reason()) {
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
        return false;
    default:
        return true;
    }
}

// The registry's fields, one a column: the control that shows it, the typing it takes,
// its length limit (0 for none) and the hint of that limit. Column B is the pair of
// customer/supplier boxes, not a field.
enum class Typing { Free, Digits, UpperCase };
enum class Hint { None, Fiscal, Iban };

struct RegistryField {
    int column;
    const char *control;
    Typing typing;
    int limit;
    Hint hint;
};

constexpr RegistryField kFields[] = {
    {Registry::ColId, "Text10", Typing::Free, 0, Hint::None},
    {Registry::ColName, "Text26", Typing::UpperCase, 60, Hint::None},
    {Registry::ColDate, "Text18", Typing::Free, 10, Hint::None},
    {Registry::ColAddress, "Text25", Typing::UpperCase, 70, Hint::None},
    {Registry::ColPostCode, "Text24", Typing::Digits, 5, Hint::None},
    {Registry::ColTown, "Text23", Typing::UpperCase, 50, Hint::None},
    {Registry::ColProvince, "Text22", Typing::UpperCase, 2, Hint::None},
    {Registry::ColPhone, "Text21", Typing::Digits, 0, Hint::None},
    {Registry::ColFax, "Text20", Typing::Digits, 0, Hint::None},
    {Registry::ColMobile, "Text15", Typing::Digits, 0, Hint::None},
    {Registry::ColEmail, "Text16", Typing::Free, 50, Hint::None},
    {Registry::ColTaxCode, "Text19", Typing::UpperCase, 16, Hint::Fiscal},
    {Registry::ColVat, "Text2", Typing::Digits, 11, Hint::Fiscal},
    {Registry::ColIban, "Text1", Typing::UpperCase, 27, Hint::Iban},
    {Registry::ColContact, "Text3", Typing::UpperCase, 50, Hint::Fiscal},
    {Registry::ColNotes, "Text12", Typing::UpperCase, 0, Hint::None},   // the multi-line notes
};

const RegistryField *fieldOf(int column)
{
    for (const RegistryField &field : kFields)
        if (field.column == column)
            return &field;
    return nullptr;
}

// The order in which a chosen counterparty is loaded into the fields.
constexpr int kLoadOrder[] = {
    Registry::ColName, Registry::ColDate, Registry::ColAddress, Registry::ColPostCode,
    Registry::ColTown, Registry::ColProvince, Registry::ColFax, Registry::ColPhone,
    Registry::ColMobile, Registry::ColEmail, Registry::ColTaxCode, Registry::ColVat,
    Registry::ColIban, Registry::ColContact, Registry::ColNotes, Registry::ColId,
};

} // namespace

Anagrafe::Anagrafe(controls::Session &session)
    : controls::Form(session)
{
    setObjectName(QStringLiteral("Anagrafe"));
    setWindowTitle(QStringLiteral("Anagrafica "));
    buildControls();
    buildLayout();
    applyFieldRules();

    connect(Check1, &QCheckBox::toggled, this, &Anagrafe::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Anagrafe::Check2_Click);
    connect(Check4, &QCheckBox::toggled, this, &Anagrafe::Check4_Click);
    connect(Check6, &QCheckBox::toggled, this, &Anagrafe::Check6_Click);
    connect(Check7, &QCheckBox::toggled, this, &Anagrafe::Check7_Click);
    connect(Combo4, &QComboBox::activated, this, &Anagrafe::Combo4_Click);
    connect(MonthView1, &QCalendarWidget::clicked, this, &Anagrafe::MonthView1_DateClick);
    connect(MonthView1, &QCalendarWidget::activated, this, &Anagrafe::MonthView1_DateClick);
    connect(Timer1, &QTimer::timeout, this, &Anagrafe::Timer1_Timer);
    connect(Mesci, &QAction::triggered, this, &Anagrafe::Mesci_Click);
    connect(XPButton4, &controls::XPButton::clicked, this, &Anagrafe::XPButton4_Click);
    connect(XPButton1, &controls::XPButton::clicked, this, &Anagrafe::XPButton1_Click);
    connect(XPButton2, &controls::XPButton::clicked, this, &Anagrafe::XPButton2_Click);
    connect(XPButton3, &controls::XPButton::clicked, this, &Anagrafe::XPButton3_Click);
    connect(XPButton5, &controls::XPButton::clicked, this, &Anagrafe::XPButton5_Click);
    Text26->installEventFilter(this);
    Text10->installEventFilter(this);

    Timer1_Timer();
    Timer1->start();
}

Anagrafe::~Anagrafe() = default;

// ---------------------------------------------------------------------------------------
// Construction

void Anagrafe::buildControls()
{
    buildMenuAndButtons();
    Check1 = controls::makeNamed<QCheckBox>(this, "Check1", QStringLiteral("Cliente"));
    Check2 = controls::makeNamed<QCheckBox>(this, "Check2", QStringLiteral("Fornitore"));
    Check7 = controls::makeNamed<QCheckBox>(this, "Check7", QStringLiteral("Cambia IDProgressivo"));
    Check6 = controls::makeNamed<QCheckBox>(this, "Check6", QStringLiteral("Azzera Contatore "));
    buildSelectionList();
    buildFields();
    buildCalendarAndNotice();
}

void Anagrafe::buildMenuAndButtons()
{
    menuBar = new QMenuBar(this);
    Mesci = menuBar->addAction(QStringLiteral("&Esci"));
    Mesci->setObjectName(QStringLiteral("Mesci"));

    auto button = [this](const char *name, const QString &caption, const QString &hint) {
        controls::XPButton *b = controls::makeFormButton(this, name, caption, hint);
        b->setColorScheme(controls::XPButton::FormScheme);
        b->setFixedSize(twips(1215), twips(375));
        return b;
    };
    XPButton4 = button("XPButton4", QStringLiteral("Inserisci"), QStringLiteral("Aggiunge il soggetto in fondo all'anagrafica"));
    XPButton1 = button("XPButton1", QStringLiteral("Modifica"), QStringLiteral("Riscrive il soggetto scelto nell'elenco"));
    XPButton2 = button("XPButton2", QStringLiteral("Pulisci"), QStringLiteral("Svuota i campi"));
    XPButton3 = button("XPButton3", QStringLiteral("Elimina"), QStringLiteral("Elimina il soggetto scelto, o quello con questo ID Progressivo"));
    XPButton5 = button("XPButton5", QStringLiteral("Stampa"), QStringLiteral("Stampa l'anagrafica"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Timer1 = controls::makeClockTimer(this, "Timer1");
}

void Anagrafe::buildSelectionList()
{
    Combo4 = new QComboBox(this);
    Combo4->setObjectName(QStringLiteral("Combo4"));
    Combo4->setEditable(true);
    Combo4->setInsertPolicy(QComboBox::NoInsert);
    // Typed text picks nothing: no completion that could pick an entry behind the user's back.
    Combo4->setCompleter(nullptr);
    Combo4->lineEdit()->setValidator(new TypedTextChoosesNothing(Combo4->lineEdit()));
    Combo4->setToolTip(kComboHint);
    Combo4->setEnabled(false);
}

void Anagrafe::buildFields()
{
    auto field = [this](const char *name) { return controls::makeNamed<QLineEdit>(this, name); };
    Text18 = field("Text18");
    Check4 = controls::makeNamed<QCheckBox>(this, "Check4", QString());
    Text26 = field("Text26");
    Text10 = field("Text10");
    Text10->setReadOnly(true);
    Text25 = field("Text25");
    Text24 = field("Text24");
    Text23 = field("Text23");
    Text22 = field("Text22");
    Text21 = field("Text21");
    Text20 = field("Text20");
    Text15 = field("Text15");
    Text16 = field("Text16");
    Text19 = field("Text19");
    Text2 = field("Text2");
    Text3 = field("Text3");
    Text1 = field("Text1");
    Text12 = new QPlainTextEdit(this);
    Text12->setObjectName(QStringLiteral("Text12"));
    Text12->setTabChangesFocus(true);

    QPalette yellow = Text26->palette();
    yellow.setColor(QPalette::Base, kLightYellow);
    Text26->setPalette(yellow);
}

void Anagrafe::buildCalendarAndNotice()
{
    // The calendar floats over the Data field; it is not part of the layout.
    MonthView1 = new QCalendarWidget(this);
    MonthView1->setObjectName(QStringLiteral("MonthView1"));
    MonthView1->setFirstDayOfWeek(Qt::Monday);
    MonthView1->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthView1->setAutoFillBackground(true);
    MonthView1->hide();

    Label14 = new QLabel(kNotice, this);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setAlignment(Qt::AlignCenter);
}

void Anagrafe::buildLayout()
{
    auto *outer = new QVBoxLayout(this);
    outer->setMenuBar(menuBar);
    outer->setContentsMargins(twips(180), twips(120), twips(180), twips(120));
    outer->setSpacing(twips(120));

    // Button bar with the clock at the right.
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(twips(90));
    for (auto *b : {XPButton4, XPButton1, XPButton2, XPButton3, XPButton5})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(Label1);
    outer->addLayout(buttons);

    // Type boxes, with the counter boxes at the right.
    auto *types = new QHBoxLayout;
    types->addWidget(Check1);
    types->addSpacing(twips(300));
    types->addWidget(Check2);
    types->addStretch(1);
    types->addWidget(Check7);
    types->addSpacing(twips(300));
    types->addWidget(Check6);
    outer->addLayout(types);

    outer->addLayout(layoutFields(), 1);
    outer->addWidget(Label14);

    // Tab order follows the layout, top to bottom.
    QWidget *order[] = {Check1, Check2, Check7, Check6, Combo4, Text18, Check4, Text26, Text10,
                        Text25, Text24, Text23, Text22, Text21, Text20, Text15, Text16,
                        Text19, Text2, Text3, Text1, Text12};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    resize(twips(11400), twips(8400));
}

// The fields: captions above them, on a grid of twelve columns, two grid rows a line.
QLayout *Anagrafe::layoutFields()
{
    CaptionGrid g(this);
    g.place(QStringLiteral("Seleziona Cliente/Fornitore"), Combo4, 0, 8);
    g.caption(QStringLiteral("Data"), Text18, 9, 3);
    auto *date = new QHBoxLayout;
    date->setSpacing(twips(60));
    date->addWidget(Text18, 1);
    date->addWidget(Check4);
    g.grid->addLayout(date, g.row + 1, 9, 1, 3);

    // The lines below, left to right: caption, field, first column and span.
    const struct { int line; const char *caption; QWidget *field; int column, span; } places[] = {
        {1, "INSERISCI-Ragione Sociale/Cognome-Nome", Text26, 0, 9}, {1, "ID Progressivo", Text10, 9, 3},
        {2, "Indirizzo", Text25, 0, 5}, {2, "C.A.P.", Text24, 5, 1}, {2, "Località", Text23, 6, 5},
        {2, "(PR)", Text22, 11, 1},
        {3, "Telefono", Text21, 0, 3}, {3, "Fax", Text20, 3, 3}, {3, "Cellullare", Text15, 6, 3},
        {3, "E-Mail", Text16, 9, 3},
        {4, "Codice Fiscale", Text19, 0, 4}, {4, "Partita IVA", Text2, 4, 3},
        {4, "Referente/Legale Rappresentante", Text3, 7, 5},
        {5, "IBAN", Text1, 0, 6},
    };
    for (const auto &p : places) {
        while (g.row < 2 * p.line)
            g.nextLine();
        g.place(QString::fromUtf8(p.caption), p.field, p.column, p.span);
    }
    // The notes' caption stands at the right of the IBAN, over the notes, which take the
    // whole width and whatever height is left.
    auto *label = new QLabel(QStringLiteral("Annotazioni"), this);
    label->setBuddy(Text12);
    label->setContentsMargins(0, 0, 0, twips(30));
    g.grid->addWidget(label, g.row + 1, 7, 1, 5, Qt::AlignLeft | Qt::AlignBottom);
    g.nextLine();
    g.grid->addWidget(Text12, g.row, 0, 1, 12);
    g.grid->setRowStretch(g.row, 1);
    Text12->setMinimumHeight(twips(1200));
    return g.grid;
}

void Anagrafe::applyFieldRules()
{
    using namespace controls::rules;
    for (const RegistryField &field : kFields) {
        QWidget *control = fieldControl(field.column);
        auto *line = qobject_cast<QLineEdit *>(control);
        if (field.typing == Typing::Digits && line)
            attachDigitFilter(line);
        if (field.typing == Typing::UpperCase) {
            if (line)
                attachUpperCase(line);
            else if (auto *notes = qobject_cast<QPlainTextEdit *>(control))
                attachUpperCase(notes);
        }
    }
    for (const RegistryField &field : kFields) {
        auto *line = qobject_cast<QLineEdit *>(fieldControl(field.column));
        if (field.limit == 0 || !line)
            continue;
        const QString &hint = field.hint == Hint::Fiscal ? kFiscalHint
                              : field.hint == Hint::Iban ? kIbanHint
                                                         : QString();
        applyLimit(line, field.limit, hint);
    }
}

// ---------------------------------------------------------------------------------------
// Helpers

Registry Anagrafe::sheet() const
{
    return Registry::of(session().workbook());
}

std::optional<Registry> Anagrafe::sheetOrReport()
{
    try {
        return sheet();
    } catch (const store::StoreError &error) {
        reportStoreError(error);
        return std::nullopt;
    }
}

Answer Anagrafe::message(BoxKind kind, const QString &text, const QString &title, Answer defaultButton)
{
    if (!session().dialogs)
        return kind == BoxKind::Question ? Answer::No : Answer::Ok;
    return session().dialogs->message(kind, text, title, defaultButton);
}

void Anagrafe::reportStoreError(const store::StoreError &error)
{
    controls::reportStoreError(session().dialogs, error);
}

QWidget *Anagrafe::fieldControl(int column) const
{
    const RegistryField *field = fieldOf(column);
    return field ? findChild<QWidget *>(QLatin1String(field->control)) : nullptr;
}

QString Anagrafe::fieldText(int column) const
{
    QWidget *control = fieldControl(column);
    if (auto *line = qobject_cast<QLineEdit *>(control))
        return line->text();
    if (auto *notes = qobject_cast<QPlainTextEdit *>(control))
        return notes->toPlainText();
    return {};
}

void Anagrafe::setFieldText(int column, const QString &text)
{
    QWidget *control = fieldControl(column);
    if (auto *line = qobject_cast<QLineEdit *>(control))
        line->setText(text);
    else if (auto *notes = qobject_cast<QPlainTextEdit *>(control))
        notes->setPlainText(text);
}

QString Anagrafe::typeLetter() const
{
    if (Check1->isChecked())
        return QStringLiteral("C");
    if (Check2->isChecked())
        return QStringLiteral("F");
    return {};
}

std::optional<int> Anagrafe::chosenRow() const
{
    const int index = Combo4->currentIndex();
    if (index < 0 || Combo4->itemText(index) != Combo4->currentText())
        return std::nullopt;
    bool ok = false;
    const int row = Combo4->itemData(index).toInt(&ok);
    if (!ok || row < 2)
        return std::nullopt;
    return row;
}

// Every control that has a text gets an empty one: the fields, the ID field and the
// selection list's text (its entries stay).
void Anagrafe::clearTexts()
{
    for (const RegistryField &field : kFields) {
        QWidget *control = fieldControl(field.column);
        if (auto *line = qobject_cast<QLineEdit *>(control))
            line->clear();
        else if (auto *notes = qobject_cast<QPlainTextEdit *>(control))
            notes->clear();
    }
    Combo4->setCurrentIndex(-1);
    Combo4->setEditText(QString());
    m_loaded.reset();
}

// Shows the counter in the ID field; a failing read leaves the field as it is.
void Anagrafe::showCounter()
{
    skipOnFailure([&] { Text10->setText(proposedText(sheet())); });
}

// The number the next counterparty receives, passed over the numbers in use; the counter's
// own text when it is no progressive number.
QString Anagrafe::proposedText(const Registry &registry) const
{
    const std::optional<double> next = registry.proposedNumber();
    return next ? store::numberToText(*next) : registry.counterText();
}

void Anagrafe::fillList(const QString &typeLetter)
{
    Combo4->clear();
    m_loaded.reset();
    Combo4->setEditText(QStringLiteral("Seleziona"));
    try {
        const Registry registry = sheet();
        registry.select();
        for (const records::Entry &entry : registry.entries(typeLetter))
            Combo4->addItem(entry.name, entry.row);
    } catch (const store::StoreError &error) {
        reportStoreError(error);
    }
    // Adding the first entry makes it current; the list shows the invitation instead.
    Combo4->setCurrentIndex(-1);
    Combo4->setEditText(QStringLiteral("Seleziona"));
}

void Anagrafe::placeCalendar()
{
    MonthView1->resize(MonthView1->sizeHint());
    // Over the Data field, right edges aligned, so that the box beside it stays reachable.
    QPoint at = Text18->mapTo(this, QPoint(Text18->width() - MonthView1->width(), 0));
    at.setX(qBound(0, at.x(), qMax(0, width() - MonthView1->width())));
    at.setY(qBound(0, at.y(), qMax(0, height() - MonthView1->height())));
    MonthView1->move(at);
    MonthView1->raise();
}

void Anagrafe::resizeEvent(QResizeEvent *event)
{
    controls::Form::resizeEvent(event);
    if (MonthView1 && MonthView1->isVisible())
        placeCalendar();
}

bool Anagrafe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && leftInsideForm(static_cast<QFocusEvent *>(event))) {
        if (watched == Text26)
            Text26_LostFocus();
        else if (watched == Text10)
            Text10_LostFocus();
    }
    return controls::Form::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Activation, boxes, list, calendar, clock, leaving

void Anagrafe::activate()
{
    // With a type ticked the list stays usable, also back from the print form.
    Combo4->setEnabled(Check1->isChecked() || Check2->isChecked());
    try {
        const Registry registry = sheet();
        if (registry.counterEmpty())
            registry.setCounter(1);
        // A counterparty on show keeps its own number in the field.
        if (!m_loaded)
            Text10->setText(proposedText(registry));
        m_activationErrorShown = false;
    } catch (const store::StoreError &error) {
        // The box takes the activation and gives it back when it closes: report once, or
        // activation and box would chase each other.
        if (!m_activationErrorShown) {
            m_activationErrorShown = true;
            reportStoreError(error);
        }
    }
    Text26->setFocus();
    MonthView1->hide();
}

void Anagrafe::Check1_Click()
{
    if (Check1->isChecked()) {
        Check2->setChecked(false);   // Fornitore's unticking branch runs first, when it was ticked
        Combo4->setEnabled(true);
        fillList(QStringLiteral("C"));
    } else {
        typeDropped();
    }
}

void Anagrafe::Check2_Click()
{
    if (Check2->isChecked()) {
        Check1->setChecked(false);   // Cliente's unticking branch runs first, when it was ticked
        Combo4->setEnabled(true);
        fillList(QStringLiteral("F"));
    } else {
        typeDropped();
    }
}

// A type box unticked: the list of that type goes, what was typed stays. A counterparty
// chosen from the list is no longer chosen (its number gives way to the next one), but its
// fields stay on show, to be kept as a new counterparty or chosen again.
void Anagrafe::typeDropped()
{
    Combo4->setEnabled(false);
    Combo4->clear();
    if (m_loaded) {
        m_loaded.reset();
        showCounter();
    }
}

void Anagrafe::Combo4_Click(int index)
{
    if (Combo4->currentText().isEmpty() || index < 0)
        return;
    bool ok = false;
    const int row = Combo4->itemData(index).toInt(&ok);
    if (!ok || row < 2)
        return;
    std::optional<Registry> registry;
    if (!skipOnFailure([&] { registry.emplace(sheet()); }))
        return;
    m_loaded.reset();
    std::optional<records::Counterparty> chosen;
    if (!skipOnFailure([&] { chosen = registry->read(row); }))
        return;
    m_loaded = Loaded{row, chosen->number().value};
    for (int column : kLoadOrder) {
        // A cell without a text (an error value) leaves its field as it was.
        if (const std::optional<QString> text = (*chosen)[column].shownText())
            setFieldText(column, *text);
    }
}

void Anagrafe::Text26_LostFocus()
{
    if (Check1->isChecked() || Check2->isChecked())
        return;
    // Shown once the focus change is over, so that the click that moved the focus is not
    // cut in half by a modal box; and only when the focus went on to another field: going
    // to a type box is doing what the reminder asks, and a button checks for itself.
    QTimer::singleShot(0, this, [this] {
        const QWidget *to = QApplication::focusWidget();
        if (Check1->isChecked() || Check2->isChecked() || to == Check1 || to == Check2
            || qobject_cast<const controls::XPButton *>(to) || !isVisible())
            return;
        message(BoxKind::Plain, kNoType, kTitle);
    });
}

void Anagrafe::Text10_LostFocus()
{
    // Only a number the user could type is stored: while the field is locked it shows the
    // counter or a loaded counterparty's number, and storing that would hand the same
    // number out twice.
    const bool unlocked = !Text10->isReadOnly();
    Text10->setReadOnly(true);
    if (!unlocked || Text10->text().isEmpty())
        return;
    // Every insert writes the counter into column A and the next one adds 1 to it: only a
    // whole number goes in, and a refused text gives way to the counter as it is.
    const std::optional<double> number = records::typedProgressive(Text10->text());
    if (!number) {
        showCounter();
        QTimer::singleShot(0, this, [this] { message(BoxKind::Plain, kNotWhole, kTitle); });
        return;
    }
    try {
        sheet().setCounter(*number);
    } catch (const store::StoreError &error) {
        reportStoreError(error);
    }
}

void Anagrafe::Check4_Click()
{
    if (Check4->isChecked()) {
        const QDate today = session().clock ? session().clock->now().date() : QDate::currentDate();
        MonthView1->setSelectedDate(today);
        placeCalendar();
        MonthView1->show();
    } else {
        MonthView1->hide();
    }
}

void Anagrafe::MonthView1_DateClick(const QDate &date)
{
    Text18->setText(store::dateText(date));
    MonthView1->hide();
    Check4->setChecked(false);
}

void Anagrafe::Timer1_Timer()
{
    const QDateTime now = session().clock ? session().clock->now() : QDateTime::currentDateTime();
    Label1->setText(store::clockLine(now, store::ClockStyle::Registry));
}

void Anagrafe::Mesci_Click()
{
    controls::showForm(session(), controls::FormId::Contavio);
    hide();
}

// ---------------------------------------------------------------------------------------
// Counter

void Anagrafe::Check6_Click()
{
    if (!Check6->isChecked())
        return;
    if (message(BoxKind::Question, kResetQuestion, kTitleTrailing, Answer::No) != Answer::Yes) {
        Check6->setChecked(false);
        return;
    }
    try {
        const Registry registry = sheet();
        registry.setCounter(1);
        Text10->setText(proposedText(registry));
    } catch (const store::StoreError &error) {
        reportStoreError(error);
    }
    Check6->setChecked(false);
}

void Anagrafe::Check7_Click()
{
    if (!Check7->isChecked())
        return;
    Text10->setReadOnly(false);
    message(BoxKind::Information, kCounterUnlocked, kTitleCounter);
    Text10->clear();
    Text10->setFocus();
    Check7->setChecked(false);
}

// ---------------------------------------------------------------------------------------
// Record operations

void Anagrafe::XPButton4_Click()
{
    if (!nameGiven())
        return;
    // No (or Escape) goes back to the form as it was typed; "Pulisci" clears it.
    if (message(BoxKind::Question, kInsertQuestion, kTitleLeading) != Answer::Yes)
        return;
    // Nothing is written before the type is known and a free row is found.
    const QString letter = tickedType();
    if (letter.isEmpty())
        return;
    const std::optional<Registry> registry = sheetOrReport();
    if (!registry)
        return;
    Registry::InsertResult inserted;
    try {
        inserted = registry->insert(entry(letter));
    } catch (const store::StoreError &error) {
        reportStoreError(error);
        return;
    }
    switch (inserted.outcome) {
    case Registry::Inserted::CounterNotWhole:
        message(BoxKind::Plain, kCounterNotWhole, kTitle);
        return;
    case Registry::Inserted::SheetFull:
        Text10->setText(inserted.number);
        message(BoxKind::Critical, kSheetFull, kTitle);
        return;
    case Registry::Inserted::Done:
        break;
    }

    message(BoxKind::Information, kInserted, kTitle);
    Pulisci();
}

bool Anagrafe::nameGiven()
{
    if (!Text26->text().isEmpty())
        return true;
    message(BoxKind::Plain, kEmptyName, kTitle);
    Text26->setFocus();
    return false;
}

QString Anagrafe::tickedType()
{
    const QString letter = typeLetter();
    if (letter.isEmpty())
        message(BoxKind::Plain, kNoType, kTitle);
    return letter;
}

records::CounterpartyEntry Anagrafe::entry(const QString &letter) const
{
    records::CounterpartyEntry entry;
    entry[Registry::ColType] = letter;
    for (const RegistryField &field : kFields)
        entry[field.column] = fieldText(field.column);
    return entry;
}

void Anagrafe::XPButton1_Click()
{
    const QString selection = Combo4->currentText();
    if (selection.isEmpty()) {
        message(BoxKind::Information, kEmptySelection, kTitleTrailing);
        Combo4->setFocus();
        return;
    }
    const std::optional<int> row = chosenRow();
    if (!row || !m_loaded || m_loaded->row != *row) {
        message(BoxKind::Information, kNoSuchEntry.arg(selection), kTitleTrailing);
        Combo4->setFocus();
        return;
    }
    // An empty name would end every list of counterparties at this row.
    if (!nameGiven())
        return;
    const QString letter = tickedType();
    if (letter.isEmpty())
        return;
    const std::optional<Registry> registry = sheetOrReport();
    if (!registry)
        return;
    try {
        if (!registry->carries(*row, m_loaded->id)) {
            message(BoxKind::Information, kRowMoved, kTitleTrailing);
            return;
        }
    } catch (const store::StoreError &error) {
        reportStoreError(error);
        return;
    }

    // Column A keeps the number the counterparty was loaded with: the ID field may show
    // the counter by now, and the records of the ledgers know the counterparty by it.
    registry->change(*row, entry(letter));

    message(BoxKind::Plain, kChanged, kTitleTwoLeading);
    Combo4->clear();
    Pulisci();
}

void Anagrafe::XPButton2_Click()
{
    Pulisci();
    Combo4->clear();
}

void Anagrafe::XPButton3_Click()
{
    if (Text26->text().isEmpty()) {
        message(BoxKind::Information, kSelectFirst, kTitleTrailing);
        return;
    }
    // Only a counterparty chosen from the list goes: the number in the ID field may be the
    // counter's, which another counterparty carries.
    if (!m_loaded) {
        message(BoxKind::Information, kChooseToDelete, kTitleTrailing);
        return;
    }
    if (message(BoxKind::Question, kDeleteQuestion, kTitleTrailing, Answer::No) != Answer::Yes)
        return;
    try {
        const Registry registry = sheet();
        registry.select();
        if (!registry.carries(m_loaded->row, m_loaded->id)) {
            message(BoxKind::Information, kRowMovedDelete, kTitleTrailing);
            return;
        }
        registry.deleteRow(m_loaded->row);
    } catch (const store::StoreError &error) {
        reportStoreError(error);
        return;
    }
    message(BoxKind::Information, kDeleted, kTitleBoth);
    Pulisci();
    showCounter();
}

void Anagrafe::XPButton5_Click()
{
    // "8" asks for the registry list.
    if (auto *stampa = qobject_cast<print::StampaP *>(controls::programForm(session(), controls::FormId::StampaP)))
        stampa->open(QStringLiteral("8"));
}

void Anagrafe::Pulisci()
{
    clearTexts();
    Check6->setChecked(false);
    Check7->setChecked(false);
    Check2->setChecked(false);
    Check4->setChecked(false);
    Check1->setChecked(false);
    showCounter();
}
