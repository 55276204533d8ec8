#pragma once

// The record browser: every record of "Incassi" or "Pagamenti", sorted by due date, in a
// 20-column list; picking one hands it to its entry form for change or deletion.
//
// The mode is the text of Text1: "1" the receivables, "2" the payables. open() writes it
// with the show request; activate() reads it and rebuilds the list.

#include "controls/form.h"
#include "ledger/ledger.h"

#include <optional>

class QLabel;
class QLineEdit;
class QTimer;
class QTreeView;
class QModelIndex;

namespace controls { class XPButton; }

namespace browser {

class RecordListModel;

class Visualizza : public controls::Form {
    Q_OBJECT
public:
    explicit Visualizza(controls::Session &session, QWidget *parent = nullptr);
    ~Visualizza() override;

    void activate() override;
    bool queryUnload() override { return true; }   // the close box never closes the browser

    // Shows the browser on one ledger.
    void open(ledger::Ledger which);

    // The mode read as a number, as every reader of Text1 does (0 when it is none).
    int mode() const;
    // The ledger of the mode; none when the mode names neither.
    std::optional<ledger::Ledger> ledgerShown() const { return ledger::ledgerOfMode(mode()); }

    // Sorts the sheet by due date in place and rebuilds the list from it.
    void caricaElenco(const QString &sheetName);
    // Hands the first selected record to the entry form of the mode.
    void itemClick();
    void stampa();   // XPButton1
    void chiudi();   // XPButton2
    void tick();     // Timer2

    RecordListModel *listModel() const { return m_model; }

    QLineEdit *Text1 = nullptr;
    QTreeView *ListView3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *Label15 = nullptr;
    QLabel *Label16 = nullptr;
    QTimer *Timer2 = nullptr;
    controls::XPButton *XPButton1 = nullptr;   // Stampa
    controls::XPButton *XPButton2 = nullptr;   // Chiudi

protected:

private:
    void buildList();
    void buildLayout();
    void wireBehaviour();
    void applyColumns();
    void reportError(const std::exception &error);

    RecordListModel *m_model = nullptr;
    bool m_builtOnOpen = false;   // open() has built the list its activation would build
};

} // namespace browser
