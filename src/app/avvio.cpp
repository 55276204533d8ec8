#include "avvio.h"

#include "controls/clock.h"
#include "controls/dialogs.h"
#include "controls/formparts.h"
#include "controls/session.h"
#include "controls/xpbutton.h"
#include "recovery.h"
#include "shutdown.h"
#include "store/model/errors.h"
#include "store/file/savefile.h"
#include "store/model/workbook.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <unistd.h>

namespace app {

namespace {

// The program's picture: a ledger page with its ruled columns and a euro coin.
QPixmap drawPicture(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = side / 100.0;

    // The page.
    QPainterPath page;
    page.addRoundedRect(QRectF(14 * s, 8 * s, 62 * s, 80 * s), 5 * s, 5 * s);
    p.fillPath(page, QColor(0xFF, 0xFF, 0xFF));
    p.setPen(QPen(QColor(0x3A, 0x5F, 0x8F), 2.5 * s));
    p.drawPath(page);
    // Header band and ruled lines.
    p.fillRect(QRectF(16 * s, 10 * s, 58 * s, 12 * s), QColor(0x3A, 0x5F, 0x8F));
    p.setPen(QPen(QColor(0x9D, 0xB4, 0xD0), 1.5 * s));
    for (int line = 0; line < 7; ++line) {
        const qreal y = (30 + line * 8) * s;
        p.drawLine(QPointF(20 * s, y), QPointF(70 * s, y));
    }
    p.drawLine(QPointF(36 * s, 26 * s), QPointF(36 * s, 82 * s));
    p.drawLine(QPointF(54 * s, 26 * s), QPointF(54 * s, 82 * s));

    // The coin.
    const QRectF coin(52 * s, 56 * s, 40 * s, 40 * s);
    p.setPen(QPen(QColor(0x8A, 0x6D, 0x1C), 2.5 * s));
    p.setBrush(QColor(0xF2, 0xC1, 0x4E));
    p.drawEllipse(coin);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(26 * s));
    p.setFont(font);
    p.setPen(QColor(0x5C, 0x46, 0x0E));
    p.drawText(coin, Qt::AlignCenter, QString(QChar(0x20AC)));
    return pixmap;
}

} // namespace

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    QLabel::mousePressEvent(event);
    emit pressed();
}

QString Avvio::termsText()
{
    return QStringLiteral(
        "<p><b>Condizioni d'uso</b></p>"
        "<p>Contavio tiene in ordine gli incassi e i pagamenti di un piccolo ufficio: "
        "l'anagrafe di clienti e fornitori, le fatture da incassare e da pagare con le loro "
        "scadenze, gli acconti e i saldi, e la stampa degli elenchi.</p>"
        "<p>Tutti i dati stanno nel file <b>Contavio.xls</b>, nella cartella del programma, "
        "protetto da una password. Il programma non scrive altrove e non invia dati a nessuno. "
        "I dati sono vostri: il file si apre anche con un qualsiasi foglio di calcolo che legga "
        "il formato .xls.</p>"
        "<p>Le modifiche vengono salvate nel file quando si esce con \"Chiudi\" dal menu. "
        "Tenete una copia di sicurezza del file.</p>"
        "<p>Il programma è fornito così com'è, senza alcuna garanzia: controllate i risultati "
        "prima di usarli per pagamenti o adempimenti.</p>"
        "<p>Premendo \"Accetto\" si accettano queste condizioni.</p>");
}

QUrl Avvio::guideAddress()
{
    return QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Guida.html")));
}

QString Avvio::noticeText()
{
    return QStringLiteral("Contavio \u2014 programma libero per la contabilità dell'ufficio<br>"
                          "<a href=\"%1\">Guida di Contavio</a>")
        .arg(guideAddress().toString(QUrl::FullyEncoded));
}

Avvio::Avvio(controls::Session &session, QWidget *parent)
    : Form(session, parent)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("Avvio"));
    setWindowTitle(QStringLiteral("Contavio Incassi-Pagamenti-Insoluti"));
    controls::fillBackground(this, QColor(0xE0, 0xE0, 0xE0));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(18, 16, 18, 14);
    outer->setSpacing(12);

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    Image1 = new PictureBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(drawPicture(96));
    Image1->setFixedSize(100, 100);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setToolTip(QStringLiteral("Vai al il mio sito !"));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setFrameStyle(QFrame::NoFrame);
    top->addWidget(Image1, 0, Qt::AlignTop);

    auto *heading = new QLabel(this);
    heading->setText(QStringLiteral("<span style=\"font-size:20pt; font-weight:600;\">Contavio</span><br>"
                                    "<span style=\"font-size:11pt;\">Incassi \u2013 Pagamenti \u2013 Insoluti</span>"));
    heading->setTextFormat(Qt::RichText);
    top->addWidget(heading, 1, Qt::AlignVCenter);
    outer->addLayout(top);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::RichText);
    Label1->setText(termsText());
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    Label1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Label1->setMargin(10);
    Label1->setAutoFillBackground(true);
    QPalette paper = Label1->palette();
    paper.setColor(QPalette::Window, QColor(0xFA, 0xFA, 0xF7));
    Label1->setPalette(paper);
    outer->addWidget(Label1, 1);

    auto *bottom = new QHBoxLayout;
    Label2 = new QLabel(noticeText(), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::RichText);
    Label2->setTextInteractionFlags(Qt::TextBrowserInteraction);
    Label2->setOpenExternalLinks(false);
    Label2->setToolTip(QStringLiteral("Apri la guida"));
    bottom->addWidget(Label2, 1, Qt::AlignBottom);

    XPButton2 = new controls::XPButton(QStringLiteral("Accetto "), this);
    XPButton2->setObjectName(QStringLiteral("XPButton2"));
    XPButton2->setButtonType(controls::XPButton::FormStyle);
    XPButton2->setToolTip(QStringLiteral("Accetta e continua"));
    XPButton2->setFixedSize(controls::twips(1800), controls::twips(450));
    bottom->addWidget(XPButton2, 0, Qt::AlignBottom);
    outer->addLayout(bottom);

    setFixedSize(620, 440);

    connect(XPButton2, &controls::XPButton::clicked, this, &Avvio::accept);
    connect(Image1, &PictureBox::pressed, this, &Avvio::pictureClicked);
    connect(Label2, &QLabel::linkActivated, this, [this] {
        if (m_openUrl)
            m_openUrl(guideAddress());
    });
}

Avvio::~Avvio()
{
    if (session().server == m_server.get())
        session().server = nullptr;
}

Avvio::LoadResult Avvio::load(const QString &folder)
{
    startServer();
    locateWorkbook(folder);
    const QDateTime now = session().clock ? session().clock->now() : QDateTime::currentDateTime();
    if (const std::optional<LoadResult> refused = lockWorkbook(now))
        return *refused;
    if (const std::optional<LoadResult> refused = acceptReadOnlyPlace())
        return *refused;
    recoverEarlierRun(now);
    if (const std::optional<LoadResult> failed = openWorkbook())
        return *failed;
    if (const std::optional<LoadResult> failed = shapeSheets())
        return *failed;
    startRecoveryCopy();

    // 10. The terms of use.
    showForm();
    return LoadResult::Ready;
}

// 1. The server, held here for the whole run.
void Avvio::startServer()
{
    m_server = std::make_unique<store::Server>();
    session().server = m_server.get();
}

// 2. The workbook in the program's folder.
void Avvio::locateWorkbook(const QString &folder)
{
    const QString programFolder = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    m_path = QDir(programFolder).absoluteFilePath(kWorkbookName);
}

// 3 and 4. In use elsewhere, missing or unreadable; a free file stays locked by us.
std::optional<Avvio::LoadResult> Avvio::lockWorkbook(const QDateTime &now)
{
    QString reason;
    FileState state = m_lock.acquire(m_path, &reason, now);
    if (state == FileState::LockFile) {
        if (const std::optional<LoadResult> refused = takeStaleLock(now))
            return refused;
        state = FileState::Free;
    }
    switch (state) {
    case FileState::InUse:
        tell(controls::BoxKind::Critical, inUseMessage(readLockHolder(officeLockFilePath(m_path))));
        return LoadResult::InUse;
    case FileState::Missing:
        session().dialogs->message(controls::BoxKind::Plain, notFoundMessage(m_path), QString());
        return LoadResult::Missing;
    case FileState::Unreadable:
        tell(controls::BoxKind::Critical, openFailedMessage(m_path, reason));
        return LoadResult::OpenFailed;
    case FileState::LockFile:
    case FileState::Free:
        break;
    }
    return std::nullopt;
}

// Nobody holds the file, but a lock file says someone has it open. One left on this
// machine by a program no longer running may be taken away; any other is obeyed.
std::optional<Avvio::LoadResult> Avvio::takeStaleLock(const QDateTime &now)
{
    const LockHolder holder = m_lock.holder();
    if (!m_lock.holderLooksStale()) {
        m_lock.release();
        tell(controls::BoxKind::Critical, inUseMessage(holder));
        return LoadResult::InUse;
    }
    if (tell(controls::BoxKind::Question, staleLockQuestion(holder), controls::Answer::No) != controls::Answer::Yes) {
        m_lock.release();
        return LoadResult::InUse;
    }
    if (!m_lock.clearStaleLock(now)) {
        // The file that blocks: the one not removed, or another lock file found after it.
        const LockHolder blocking = m_lock.holder().valid() ? m_lock.holder() : holder;
        m_lock.release();
        tell(controls::BoxKind::Critical, staleLockNotRemovedMessage(blocking));
        return LoadResult::InUse;
    }
    return std::nullopt;
}

// A file that cannot be saved is said at once, not at the first "Chiudi". A folder that
// takes no new files alone does not stop the save (it goes in place), but leaves no room
// for the recovery copy.
std::optional<Avvio::LoadResult> Avvio::acceptReadOnlyPlace()
{
    const QString place = QFileInfo(QFileInfo(m_path).canonicalFilePath()).absolutePath();
    m_readOnlyFolder = ::access(QFile::encodeName(place).constData(), W_OK) != 0;
    if (!m_lock.readOnlyFile())
        return std::nullopt;
    if (tell(controls::BoxKind::Question, readOnlyQuestion(m_path, true, m_readOnlyFolder), controls::Answer::No)
        == controls::Answer::Yes)
        return std::nullopt;
    m_lock.release();
    return LoadResult::ReadOnly;
}

// What a killed save left beside the workbook or in Backup, and the work of a run that did
// not end.
void Avvio::recoverEarlierRun(const QDateTime &now)
{
    if (m_readOnlyFolder)
        return;
    store::removeLeftoverSaveFiles(m_path);
    store::fileLeftoverOriginals(m_path);
    if (offerRecovery(m_path, kWorkbookPassword, *session().dialogs) == RecoveryOutcome::Recovered)
        m_lock.acquire(m_path, nullptr, now);   // the lock follows the file that took the workbook's place
}

// 5 and 6. Open with the password, reading through the locked descriptor; the server
// stays hidden. A file that cannot be read is reported and left as it is.
std::optional<Avvio::LoadResult> Avvio::openWorkbook()
{
    try {
        if (!m_lock.held())
            throw store::StoreError(store::ErrorKind::Io, QStringLiteral("Il file è stato preso da un altro programma."));
        const QByteArray image = m_lock.readAll();
        m_workbook = &m_server->openImage(image, m_path, kWorkbookPassword);
    } catch (const store::StoreError &error) {
        m_lock.release();
        tell(controls::BoxKind::Critical, openFailedMessage(m_path, error.userMessage()));
        return LoadResult::OpenFailed;
    }
    m_server->visible = false;
    return std::nullopt;
}

// 7 to 9. Sheets, title rows, column widths.
std::optional<Avvio::LoadResult> Avvio::shapeSheets()
{
    try {
        shapeWorkbook(*m_workbook);
    } catch (const store::StoreError &error) {
        // Nothing is saved: the file on disk stays as it was.
        m_server->close(*m_workbook);
        m_workbook = nullptr;
        m_lock.release();
        tell(controls::BoxKind::Critical, openFailedMessage(m_path, error.userMessage()));
        return LoadResult::OpenFailed;
    }
    return std::nullopt;
}

// From here on every change is kept in the recovery copy (not where nothing can be written:
// the user has just been told).
void Avvio::startRecoveryCopy()
{
    if (m_readOnlyFolder)
        return;
    m_recovery = std::make_unique<RecoveryCopy>(session(), m_path);
    m_recovery->start();
}

controls::Answer Avvio::tell(controls::BoxKind kind, const QString &text, controls::Answer defaultButton)
{
    return session().dialogs->message(kind, text, controls::titles::kTitle, defaultButton);
}

int Avvio::exitCode(LoadResult result)
{
    switch (result) {
    case LoadResult::Ready: return 0;
    case LoadResult::InUse: return 2;
    case LoadResult::Missing: return 3;
    case LoadResult::OpenFailed: return 4;
    case LoadResult::ReadOnly: return 5;
    }
    return 1;
}

bool Avvio::queryUnload()
{
    // Once accepted the start form is only hidden, never closed.
    if (m_accepted)
        return true;
    return !leaveProgram(session());
}

void Avvio::accept()
{
    m_accepted = true;
    hide();
    controls::showForm(session(), controls::FormId::Contavio);
}

void Avvio::pictureClicked()
{
    Image1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Image1->setLineWidth(1);
    if (m_openUrl)
        m_openUrl(guideAddress());   // nothing is reported when no browser opens it
}

} // namespace app
