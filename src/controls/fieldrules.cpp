#include "fieldrules.h"

#include "dialogs.h"

#include "store/model/italian.h"

#include <QApplication>
#include <QDate>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QValidator>
#include <functional>

namespace controls::rules {

namespace {

constexpr int kBackspace = 8;
constexpr int kFullStop = 46;

bool inSet(int code, QLatin1StringView accepted)
{
    if (code <= 0 || code > 255)
        return false;
    return QString(accepted).contains(QChar(code));
}

// The character code a key press carries, or -1 when the key types nothing and so never
// reaches a key rule: keys without text, Delete, and the focus keys Tab and Backtab.
int typedCode(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return -1;
    default:
        break;
    }
    const QString text = key->text();
    if (text.isEmpty())
        return -1;
    return text.at(0).unicode();
}

// Swallows the typed characters a key rule refuses. Filtering happens on the field itself,
// before the line edit sees the key. Shortcuts with Ctrl (select all, copy, cut, paste,
// undo) are not typing and reach the line edit; what a paste brings in goes through the
// field's validator (FieldRules below), which applies the same rule.
class KeyRule : public QObject {
public:
    enum class Kind { Digits, Amount };
    KeyRule(QLineEdit *field, Kind kind) : QObject(field), m_kind(kind) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
            return false;
        const int code = typedCode(key);
        if (code < 0)
            return false;
        if (m_kind == Kind::Digits)
            return digitFilter(code) == 0;

        if (code == kFullStop && (key->modifiers() & Qt::KeypadModifier)) {
            // The keypad's decimal key types the decimal comma, at once and into whichever
            // field holds the focus, so it keeps its place among keys already queued.
            QWidget *target = QApplication::focusWidget();
            if (!target)
                target = qobject_cast<QWidget *>(watched);
            if (target) {
                QKeyEvent replacement(QEvent::KeyPress, Qt::Key_Comma, Qt::NoModifier,
                                      QStringLiteral(","));
                QCoreApplication::sendEvent(target, &replacement);
            }
            return true;
        }
        return amountFilter(code) == 0;
    }

private:
    Kind m_kind;
};

// Upper case for a multi-line field: a plain text edit has no validator, so the text is
// rewritten on each change, with the caret and selection put back. The rewrite joins the
// edit that caused it, so one undo takes back the typing and its case change together.
class UpperCasePlain : public QObject {
public:
    explicit UpperCasePlain(QPlainTextEdit *field) : QObject(field), m_field(field)
    {
        connect(field, &QPlainTextEdit::textChanged, this, &UpperCasePlain::apply);
        apply();
    }

private:
    void apply()
    {
        const QString text = m_field->toPlainText();
        const QString upper = text.toUpper();
        if (upper == text)
            return;
        QTextCursor caret = m_field->textCursor();
        const int position = caret.position();
        const int anchor = caret.anchor();
        const int growth = int(upper.size() - text.size());

        // Rewrite only the stretch that differs.
        int first = 0;
        while (first < text.size() && first < upper.size() && text.at(first) == upper.at(first))
            ++first;
        int tailText = int(text.size()), tailUpper = int(upper.size());
        while (tailText > first && tailUpper > first && text.at(tailText - 1) == upper.at(tailUpper - 1)) {
            --tailText;
            --tailUpper;
        }
        QTextCursor edit(m_field->document());
        edit.joinPreviousEditBlock();
        edit.setPosition(first);
        edit.setPosition(tailText, QTextCursor::KeepAnchor);
        edit.insertText(upper.mid(first, tailUpper - first));
        edit.endEditBlock();

        const int length = int(upper.size());
        auto moved = [&](int p) { return qBound(0, p > first ? p + growth : p, length); };
        caret.setPosition(moved(anchor));
        caret.setPosition(moved(position), QTextCursor::KeepAnchor);
        m_field->setTextCursor(caret);
    }

    QPlainTextEdit *m_field;
};

// The rules of one line edit that act on its text, in one validator: the line edit applies
// it to every change, typed, pasted, dropped or set by the program, keeps the caret where
// the validator leaves it, and emits textChanged once with the final text, so other
// handlers of the field never see an intermediate text. The price, shared with any rewrite
// of the text after the fact, is that the undo history restarts when a rule rewrites it.
//
// A change that arrives with an undo step is the user's (typing, pasting, dropping, an
// input method); a text set by the program comes without one. In that order:
//  * key filter: the characters the user brought in that the field's key rule refuses are
//    dropped, so a paste obeys the rule as typing does; the program's text is kept as is;
//  * upper case, on every change, the program's text included;
//  * length limit: the user may not make the text longer than the limit, or than the text
//    already there when that one came from the program (a counterparty written by another
//    program with a longer VAT number is shown and written back whole); the characters past
//    it are dropped from the inserted stretch, just before the caret.
class FieldRules : public QValidator {
public:
    enum class Filter { None, Digits, Amount };

    explicit FieldRules(QLineEdit *field) : QValidator(field), m_field(field), m_last(field->text()) {}

    static FieldRules *of(QLineEdit *field)
    {
        if (auto *rules = dynamic_cast<FieldRules *>(const_cast<QValidator *>(field->validator())))
            return rules;
        auto *rules = new FieldRules(field);
        field->setValidator(rules);
        return rules;
    }

    Filter filter = Filter::None;
    bool upperCase = false;
    int limit = -1;   // none

    State validate(QString &input, int &pos) const override
    {
        const bool byUser = m_field->isUndoAvailable();
        if (byUser && filter != Filter::None)
            dropRefused(input, pos);
        if (upperCase) {
            const QString upper = input.toUpper();
            if (upper != input) {
                // A letter whose upper case is longer ("ß" to "SS") pushes the caret along.
                if (upper.size() != input.size())
                    pos = qBound(0, pos + int(upper.size() - input.size()), int(upper.size()));
                input = upper;
            }
        }
        if (byUser && limit >= 0)
            cutToLimit(input, pos);
        m_last = input;
        return Acceptable;
    }

private:
    bool accepted(QChar c) const
    {
        const int code = c.unicode();
        return filter == Filter::Digits ? digitFilter(code) != 0 : amountFilter(code) != 0;
    }

    // The stretch that differs from the last text is what came in; its refused characters go.
    void dropRefused(QString &input, int &pos) const
    {
        qsizetype first = 0;
        while (first < input.size() && first < m_last.size() && input.at(first) == m_last.at(first))
            ++first;
        qsizetype tail = 0;
        while (tail < input.size() - first && tail < m_last.size() - first
               && input.at(input.size() - 1 - tail) == m_last.at(m_last.size() - 1 - tail))
            ++tail;
        QString kept;
        int caret = pos;
        for (qsizetype i = first; i < input.size() - tail; ++i) {
            if (accepted(input.at(i)))
                kept += input.at(i);
            else if (i < pos)
                --caret;
        }
        input = input.left(first) + kept + input.right(tail);
        pos = qBound(0, caret, int(input.size()));
    }

    void cutToLimit(QString &input, int &pos) const
    {
        const int allowed = qMax(limit, int(m_last.size()));
        const int excess = int(input.size()) - allowed;
        if (excess <= 0)
            return;
        const int caret = qBound(0, pos, int(input.size()));
        const int before = qMin(excess, caret);
        input.remove(caret - before, before);
        pos = caret - before;
        if (excess > before)   // caret too near the start: the rest goes at the end
            input.truncate(allowed);
        pos = qMin(pos, int(input.size()));
    }

    QLineEdit *m_field;
    mutable QString m_last;   // the text as last validated
};

// Brings the text already in a field into line with a rule just attached (the validator
// acts on the next change), as the program's own text.
void revalidate(QLineEdit *field)
{
    QString text = field->text();
    int caret = field->cursorPosition();
    field->validator()->validate(text, caret);
    if (text != field->text()) {
        field->setText(text);
        field->setCursorPosition(qMin(caret, int(text.size())));
    }
}

// On leaving a date or amount field with a text the user typed that the rule refuses:
// the box, then the field takes the focus back. A text the program put there (a record
// loaded for change) and the user did not touch is left alone, whatever it holds.
class LeaveCheck : public QObject {
public:
    using Accepts = std::function<bool(const QString &)>;
    using Refused = std::function<void(QLineEdit *)>;
    LeaveCheck(QLineEdit *field, Dialogs &dialogs, QString message, Accepts accepts,
               Refused refused, std::function<void(QLineEdit *)> accepted = {})
        : QObject(field), m_field(field), m_dialogs(dialogs), m_message(std::move(message)),
          m_accepts(std::move(accepts)), m_refused(std::move(refused)), m_accepted(std::move(accepted))
    {
        connect(field, &QLineEdit::textEdited, this, [this](const QString &text) { m_typed = text; });
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::FocusOut || m_busy)
            return false;
        // Focus that leaves with the window (another program, a context menu) comes back
        // to the field untouched: the field has not been left.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        if (m_typed.isNull() || m_field->text() != m_typed)
            return false;   // not the user's: the program has set the text since
        if (m_accepts(m_field->text())) {
            if (m_accepted)
                m_accepted(m_field);
            return false;
        }

        m_busy = true;
        QPointer<QLineEdit> field(m_field);
        m_dialogs.message(BoxKind::Plain, m_message, kDateTitle);
        if (field) {
            m_refused(field);
            field->setFocus(Qt::OtherFocusReason);
        }
        m_busy = false;
        return false;
    }

private:
    QLineEdit *m_field;
    Dialogs &m_dialogs;
    QString m_message;
    Accepts m_accepts;
    Refused m_refused;
    std::function<void(QLineEdit *)> m_accepted;
    QString m_typed;   // the text as the user last left it by an edit; null: never edited
    bool m_busy = false;
};

} // namespace

int digitFilter(int code)
{
    if (code == kBackspace)
        return code;
    return inSet(code, QLatin1StringView("0123456789,")) ? code : 0;
}

int amountFilter(int code)
{
    if (code == kBackspace)
        return code;
    return inSet(code, QLatin1StringView("0123456789,.")) ? code : 0;
}

bool dateAccepted(const QString &text)
{
    if (text.isEmpty())
        return true;
    // dd/mm/yy or dd/mm/yyyy, slashes third and sixth; the rest is the reading by which a
    // record stores the date, so a date that passes here is never dropped on the write.
    if (text.size() != 8 && text.size() != 10)
        return false;
    if (text.at(2) != QLatin1Char('/') || text.at(5) != QLatin1Char('/'))
        return false;
    return store::parseDate(text).has_value();
}

void attachDigitFilter(QLineEdit *field)
{
    field->installEventFilter(new KeyRule(field, KeyRule::Kind::Digits));
    FieldRules::of(field)->filter = FieldRules::Filter::Digits;
}

void attachAmountFilter(QLineEdit *field)
{
    field->installEventFilter(new KeyRule(field, KeyRule::Kind::Amount));
    FieldRules::of(field)->filter = FieldRules::Filter::Amount;
}

void attachUpperCase(QLineEdit *field)
{
    FieldRules::of(field)->upperCase = true;
    revalidate(field);
}

void attachUpperCase(QPlainTextEdit *field)
{
    new UpperCasePlain(field);
}

void attachDateCheck(QLineEdit *field, Dialogs &dialogs)
{
    field->installEventFilter(new LeaveCheck(field, dialogs, kDateMessage, dateAccepted,
                                             [](QLineEdit *f) {
                                                 f->clear();
                                                 f->setSelection(0, 0);
                                             }));
}

void attachAmountCheck(QLineEdit *field, Dialogs &dialogs)
{
    field->installEventFilter(new LeaveCheck(
        field, dialogs, kAmountMessage,
        [](const QString &text) { return text.trimmed().isEmpty() || store::parseAmount(text); },
        // Selected once the line edit has handled its own loss of focus, which deselects.
        [](QLineEdit *f) { QMetaObject::invokeMethod(f, &QLineEdit::selectAll, Qt::QueuedConnection); },
        [](QLineEdit *f) { showAmount(f, f->text()); }));
}

void showAmount(QLineEdit *field, const QString &text)
{
    const auto amount = store::parseAmount(text);
    field->setText(amount ? store::amountText(*amount) : text);
}

void applyLimit(QLineEdit *field, int maxLength, const QString &hint)
{
    FieldRules::of(field)->limit = maxLength;
    field->setToolTip(hint);
}

} // namespace controls::rules
