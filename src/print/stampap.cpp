#include "stampap.h"

#include "reports.h"

#include "controls/dialogs.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "store/model/errors.h"
#include "store/model/italian.h"
#include "store/print/printing.h"
#include "store/model/workbook.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <optional>

namespace print {

namespace {

// The installed printers, passed through, counting the jobs that reached one of them.
class CountingTarget : public store::PrintTarget {
public:
    explicit CountingTarget(store::PrintTarget &printers) : m_printers(printers) {}

    QStringList printerNames() const override { return m_printers.printerNames(); }
    QString defaultPrinterName() const override { return m_printers.defaultPrinterName(); }
    QString currentPrinterName() const override { return m_printers.currentPrinterName(); }
    QPagedPaintDevice *beginJob(const QString &printer, const QPageLayout &layout, int copies,
                                const QString &jobName) override
    {
        QPagedPaintDevice *device = m_printers.beginJob(printer, layout, copies, jobName);
        if (device)
            ++jobs;
        return device;
    }
    void endJob() override { m_printers.endJob(); }

    int jobs = 0;

private:
    store::PrintTarget &m_printers;
};

} // namespace

const QString StampaP::kCaption = QStringLiteral("Seleziona Stampante");
const QString StampaP::kChoosePrinter = QStringLiteral("Seleziona la stampante");
const QString StampaP::kDefaultLead = QStringLiteral("La stampante predefinita è: ");
const QString StampaP::kNotice = QStringLiteral(
    "Contavio - gestione di clienti, fornitori, incassi e pagamenti.\n"
    "Scegliete la stampante e premete \"Stampa\".");

StampaP::StampaP(controls::Session &session, QWidget *parent)
    : controls::Form(session, parent)
{
    setObjectName(QStringLiteral("StampaP"));
    setWindowTitle(kCaption);
    setFixedSize(controls::twips(5700), controls::twips(3450));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(controls::twips(240), controls::twips(180), controls::twips(5220),
                        controls::twips(600));
    Label1->setWordWrap(true);

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setGeometry(controls::twips(240), controls::twips(900), controls::twips(5220),
                        controls::twips(360));

    XPButton2 = new controls::XPButton(QStringLiteral("Stampa"), this);
    XPButton2->setObjectName(QStringLiteral("XPButton2"));
    XPButton2->setButtonType(controls::XPButton::FormStyle);
    XPButton2->setColorScheme(controls::XPButton::FormScheme);
    XPButton2->setToolTip(QStringLiteral("Invia alla stampante"));
    XPButton2->setGeometry(controls::twips(1950), controls::twips(1500), controls::twips(1800),
                           controls::twips(480));
    connect(XPButton2, &controls::XPButton::clicked, this, &StampaP::stampa);

    Label14 = new QLabel(kNotice, this);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label14->setWordWrap(true);
    Label14->setGeometry(controls::twips(240), controls::twips(2250), controls::twips(5220),
                         controls::twips(900));
    QFont small = Label14->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label14->setFont(small);

    // The mode only travels through this field; it is not shown.
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(0, 0, controls::twips(600), controls::twips(300));
    Text1->hide();

    load();
}

void StampaP::load()
{
    store::PrintTarget *printers = session().printers;
    Combo1->clear();
    if (printers)
        Combo1->addItems(printers->printerNames());
    Combo1->setEditText(kChoosePrinter);
    Label1->setText(kDefaultLead + QLatin1Char('\n')
                    + (printers ? printers->defaultPrinterName() : QString()));
}

bool StampaP::queryUnload()
{
    Text1->clear();
    // Unloaded once this close event is over: a form must not be destroyed inside its own
    // event handler. A form already gone by then (and its registry with it) is left alone.
    if (controls::Forms *forms = session().forms) {
        QPointer<StampaP> self(this);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, forms] {
                if (self && forms->isLoaded(controls::FormId::StampaP))
                    forms->unload(controls::FormId::StampaP);
            },
            Qt::QueuedConnection);
    }
    return false;
}

void StampaP::stampa()
{
    // The mode is read once, as a number, and tested three times.
    const double mode = store::leadingNumber(Text1->text());
    if (mode == 8)
        run(8);
    if (mode == 1)
        run(1);
    if (mode == 2)
        run(2);
}

void StampaP::run(int mode)
{
    const Report *report = reportForMode(mode);
    if (!report)
        return;
    controls::Session &s = session();
    PrintContext context;
    context.server = s.server;
    try {
        context.workbook = &s.workbook();
    } catch (const store::StoreError &) {
        context.workbook = nullptr;
    }
    context.dialogs = s.dialogs;
    context.clock = s.clock;
    std::optional<CountingTarget> printers;
    if (s.printers)
        printers.emplace(*s.printers);
    context.printers = printers ? &*printers : nullptr;

    // Every page the user said Yes to names the printer in the box; when not one of them
    // reached it, the print is not over as if it had printed: the form stays, and the user
    // is told why. (The first reading of the box checks the choice before any question.)
    int pagesAsked = 0;
    QString printer;
    bool printedNothing = false;
    bool checked = false;
    context.printerName = [&] {
        pagesAsked += checked ? 1 : 0;
        checked = true;
        printer = Combo1->currentText();
        return printer;
    };
    context.hideForm = [&] {
        if (pagesAsked > 0 && (!printers || printers->jobs == 0)) {
            printedNothing = true;
            return;
        }
        hide();
    };
    runReport(*report, context);

    if (printedNothing)
        s.dialogs->message(controls::BoxKind::Plain, nothingPrintedText(printer), QStringLiteral("Contavio"));
}

QString StampaP::nothingPrintedText(const QString &printer) const
{
    // A printer that is not installed was refused before the first question; here the
    // chosen printer itself took none of the pages.
    return QStringLiteral("Nessuna pagina è stata stampata: la stampante \"%1\" non ha accettato la stampa.")
        .arg(printer);
}

void StampaP::open(const QString &mode)
{
    Text1->setText(mode);
    showForm();
}

} // namespace print
