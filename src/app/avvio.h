#pragma once

#include "controls/dialogs.h"
#include "controls/form.h"
#include "startup.h"

#include <QDateTime>
#include <QLabel>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace controls { class XPButton; }
namespace store { class Server; class Workbook; }

namespace app {

class RecoveryCopy;

// A picture that reports a mouse button pressed on it.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void pressed();
protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The start form: checks and opens the workbook, shapes its sheets, then shows the terms of
// use. It holds the spreadsheet server and the open workbook for the whole run.
class Avvio : public controls::Form {
    Q_OBJECT
public:
    enum class LoadResult {
        Ready,       // the terms are shown
        InUse,       // the already-open box was shown
        Missing,     // the not-found box was shown
        OpenFailed,  // the workbook could not be read; a critical box said why
        ReadOnly,    // the workbook or its folder cannot be written, and the user chose to end
    };

    explicit Avvio(controls::Session &session, QWidget *parent = nullptr);
    ~Avvio() override;

    // The start sequence, from creating the server to showing the form. `folder` is the
    // program's folder (the executable's own when empty). On anything but Ready the user
    // has been told and the program should end with exitCode(result).
    LoadResult load(const QString &folder = {});
    static int exitCode(LoadResult result);

    QString workbookPath() const { return m_path; }
    store::Workbook *workbook() const { return m_workbook; }
    // The recovery copy kept while the program runs; nullptr before the workbook is open.
    RecoveryCopy *recovery() const { return m_recovery.get(); }
    bool accepted() const { return m_accepted; }
    const WorkbookLock &lock() const { return m_lock; }
    // The folder of the workbook takes no new files: saves go in place, no recovery copy.
    bool readOnlyFolder() const { return m_readOnlyFolder; }

    // Closing before the terms are accepted leaves the program (saving the workbook).
    bool queryUnload() override;

    // The program's Italian guide, Guida.html beside the program, that the picture and the
    // notice open; and how it is opened (the desktop's default browser unless a test puts
    // its own opener in place).
    static QUrl guideAddress();
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { m_openUrl = std::move(opener); }

    // Controls, named as on the form.
    QLabel *Label1 = nullptr;              // the terms of use
    QLabel *Label2 = nullptr;              // the author's notice, with the guide's link
    controls::XPButton *XPButton2 = nullptr;
    PictureBox *Image1 = nullptr;

    static QString termsText();
    static QString noticeText();

private:
    // The start-up steps, in their order. A step that ends the start has told the user why
    // and gives the result; nullopt lets the next step run.
    void startServer();
    void locateWorkbook(const QString &folder);
    std::optional<LoadResult> lockWorkbook(const QDateTime &now);
    std::optional<LoadResult> takeStaleLock(const QDateTime &now);
    std::optional<LoadResult> acceptReadOnlyPlace();
    void recoverEarlierRun(const QDateTime &now);
    std::optional<LoadResult> openWorkbook();
    std::optional<LoadResult> shapeSheets();
    void startRecoveryCopy();
    // A box titled "Contavio".
    controls::Answer tell(controls::BoxKind kind, const QString &text,
                          controls::Answer defaultButton = controls::Answer::Yes);

    void accept();
    void pictureClicked();

    std::unique_ptr<store::Server> m_server;
    store::Workbook *m_workbook = nullptr;
    WorkbookLock m_lock;
    std::unique_ptr<RecoveryCopy> m_recovery;
    QString m_path;
    bool m_accepted = false;
    bool m_readOnlyFolder = false;
    std::function<bool(const QUrl &)> m_openUrl;
};

} // namespace app
