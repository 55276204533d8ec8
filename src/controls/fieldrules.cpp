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
// before the line edit sees the key.
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
        const int code = typedCode(key);
        if (code < 0)
            return false;
        if (m_kind == Kind::Digits)
            return digitFilter(code) == 0;

        bool comma = false;
        const int kept = amountFilter(code, &comma);
        if (comma) {
            // The comma that stands for the full stop is typed at once, into whichever
            // field holds the focus, so it keeps its place among keys already queued.
            QWidget *target = QApplication::focusWidget();
            if (!target)
                target = qobject_cast<QWidget *>(watched);
            if (target) {
                QKeyEvent replacement(QEvent::KeyPress, Qt::Key_Comma, Qt::NoModifier,
                                      QStringLiteral(","));
                QCoreApplication::sendEvent(target, &replacement);
            }
        }
        return kept == 0;
    }

private:
    Kind m_kind;
};

// Upper case through the line edit's validator: the line edit applies it to every change,
// typed, pasted or set by the program, keeps the caret where the validator leaves it, and
// emits textChanged once with the final text, so other handlers of the field never see the
// lower-case intermediate. The price, shared with any rewrite of the text after the fact,
// is that the line edit's undo history restarts at each case change.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        const QString upper = input.toUpper();
        if (upper != input) {
            // A letter whose upper case is longer ("ß" to "SS") pushes the caret along.
            if (upper.size() != input.size())
                pos = qBound(0, pos + int(upper.size() - input.size()), int(upper.size()));
            input = upper;
        }
        return Acceptable;
    }
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

// A length limit that binds the user, not the program. Qt's own maximum length also cuts
// the text the program puts into the field, so a counterparty written by another program
// with a longer VAT number or e-mail address would be cut on load and written back cut.
// Here the limit is checked in the validator, which sees every change: a change that
// arrives with an undo step is the user's (typing, pasting, dropping, an input method) and
// may not make the text longer than the limit, or than the text already there when that
// one came from the program; the characters past it are dropped from the inserted stretch,
// just before the caret. A text set by the program comes without an undo step and is kept
// whole. An upper-case validator already on the field runs first.
class LengthLimit : public QValidator {
public:
    LengthLimit(QLineEdit *field, int limit)
        : QValidator(field), m_field(field), m_limit(limit), m_length(int(field->text().size()))
    {
        m_inner = field->validator();
    }

    void setLimit(int limit) { m_limit = limit; }
    void setInner(const QValidator *inner) { m_inner = inner; }

    State validate(QString &input, int &pos) const override
    {
        if (m_inner && m_inner->validate(input, pos) == Invalid)
            return Invalid;
        if (m_field->isUndoAvailable()) {
            const int allowed = qMax(m_limit, m_length);
            const int excess = int(input.size()) - allowed;
            if (excess > 0) {
                const int caret = qBound(0, pos, int(input.size()));
                const int before = qMin(excess, caret);
                input.remove(caret - before, before);
                pos = caret - before;
                if (excess > before)   // caret too near the start: the rest goes at the end
                    input.truncate(allowed);
                pos = qMin(pos, int(input.size()));
            }
        }
        m_length = int(input.size());
        return Acceptable;
    }

private:
    QLineEdit *m_field;
    QPointer<const QValidator> m_inner;
    int m_limit;
    mutable int m_length;   // the length of the text as last validated
};

class DateCheck : public QObject {
public:
    DateCheck(QLineEdit *field, Dialogs &dialogs) : QObject(field), m_field(field), m_dialogs(dialogs) {}

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
        if (dateAccepted(m_field->text()))
            return false;

        m_busy = true;
        QPointer<QLineEdit> field(m_field);
        m_dialogs.message(BoxKind::Plain, kDateMessage, kDateTitle);
        if (field) {
            field->clear();
            field->setFocus(Qt::OtherFocusReason);
            field->setSelection(0, int(field->text().size()));
        }
        m_busy = false;
        return false;
    }

private:
    QLineEdit *m_field;
    Dialogs &m_dialogs;
    bool m_busy = false;
};

} // namespace

int digitFilter(int code)
{
    if (code == kBackspace)
        return code;
    return inSet(code, QLatin1StringView("0123456789,")) ? code : 0;
}

int amountFilter(int code, bool *replaceWithComma)
{
    if (replaceWithComma)
        *replaceWithComma = false;
    if (code == kFullStop) {
        if (replaceWithComma)
            *replaceWithComma = true;
        return 0;
    }
    if (code == kBackspace)
        return code;
    return inSet(code, QLatin1StringView("0123456789,")) ? code : 0;
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
}

void attachAmountFilter(QLineEdit *field)
{
    field->installEventFilter(new KeyRule(field, KeyRule::Kind::Amount));
}

void attachUpperCase(QLineEdit *field)
{
    // A length limit already on the field keeps its place and runs the upper case first.
    if (auto *limit = dynamic_cast<LengthLimit *>(const_cast<QValidator *>(field->validator())))
        limit->setInner(new UpperCaseValidator(field));
    else
        field->setValidator(new UpperCaseValidator(field));
    // The validator acts on the next change; bring text already there into line now.
    const QString text = field->text();
    if (text != text.toUpper()) {
        const int caret = field->cursorPosition();
        field->setText(text.toUpper());
        field->setCursorPosition(qMin(caret, int(field->text().size())));
    }
}

void attachUpperCase(QPlainTextEdit *field)
{
    new UpperCasePlain(field);
}

void attachDateCheck(QLineEdit *field, Dialogs &dialogs)
{
    field->installEventFilter(new DateCheck(field, dialogs));
}

void applyLimit(QLineEdit *field, int maxLength, const QString &hint)
{
    if (auto *limit = dynamic_cast<LengthLimit *>(const_cast<QValidator *>(field->validator())))
        limit->setLimit(maxLength);
    else
        field->setValidator(new LengthLimit(field, maxLength));
    field->setToolTip(hint);
}

} // namespace controls::rules
