// Opening, saving and closing workbooks: the parts of the engine that reach the file layer.

#include "store/model/workbook.h"

#include "store/file/workbookfile.h"

#include <QDir>
#include <QFileInfo>

namespace store {

namespace {

QString samePathKey(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

} // namespace

void Workbook::save()
{
    if (m_path.isEmpty())
        throw StoreError(ErrorKind::Io, QStringLiteral("La cartella di lavoro non è mai stata salvata: manca il nome del file."));
    writeWorkbook(*this, m_path);
    markSaved();
}

void Workbook::saveAs(const QString &path)
{
    writeWorkbook(*this, path);
    m_path = path;
    markSaved();
}

Server::Server() = default;
Server::~Server() = default;

Workbook &Server::open(const QString &path, const QString &password)
{
    return openFrom(path, [&] { return readWorkbook(path, password); });
}

Workbook &Server::openImage(const QByteArray &file, const QString &path, const QString &password)
{
    return openFrom(path, [&] { return readWorkbookBytes(file, password); });
}

Workbook &Server::openFrom(const QString &path, const std::function<std::unique_ptr<Workbook>()> &read)
{
    const QString key = samePathKey(path);
    for (size_t i = 0; i < m_books.size(); ++i) {
        if (samePathKey(m_books[i]->path()) == key) {
            m_active = int(i);
            return *m_books[i];
        }
    }
    const QString name = QFileInfo(path).fileName();
    if (workbook(name))
        throw StoreError(ErrorKind::Invalid,
                         QStringLiteral("È già aperta un'altra cartella di lavoro con il nome \"%1\".").arg(name), path);
    std::unique_ptr<Workbook> book = read();
    book->setPath(QFileInfo(path).absoluteFilePath());
    book->markSaved();
    m_books.push_back(std::move(book));
    m_active = int(m_books.size()) - 1;
    m_running = true;
    return *m_books.back();
}

Workbook *Server::workbook(const QString &name)
{
    for (auto &book : m_books)
        if (book->name().compare(name, Qt::CaseInsensitive) == 0)
            return book.get();
    return nullptr;
}

Workbook *Server::activeWorkbook()
{
    if (m_active < 0 || m_active >= int(m_books.size()))
        return nullptr;
    return m_books[size_t(m_active)].get();
}

void Server::close(Workbook &book)
{
    for (size_t i = 0; i < m_books.size(); ++i) {
        if (m_books[i].get() == &book) {
            m_books.erase(m_books.begin() + i);
            m_active = m_books.empty() ? -1 : int(m_books.size()) - 1;
            return;
        }
    }
}

void Server::quit()
{
    m_books.clear();
    m_active = -1;
    m_running = false;
}

} // namespace store
