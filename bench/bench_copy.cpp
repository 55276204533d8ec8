// Open and save of one workbook, step by step, as `contavio-xls copy` runs them: reading the
// file, taking the streams out of the compound file, decrypting and reading the records,
// encoding and encrypting the stream, building the compound file, writing the file. Each step
// runs --runs times (10 by default); prints the mean and the fastest run in milliseconds.
//
//   contavio-bench-copy FILE [--password P] [--runs N]
//
// The largest workbook the ledger allows, as LibreOffice saves it, is the one to time (the
// engine's own, from contavio-bench, differs only in layout details).

#include "benchtools.h"

#include "records/layout.h"
#include "store/file/savefile.h"
#include "store/file/workbookfile.h"
#include "store/xls/cfb.h"
#include "store/xls/crypto.h"
#include "store/xls/writer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int g_runs = 10;

void row(const char *what, const std::function<void()> &step)
{
    std::vector<double> ms;
    for (int i = 0; i < g_runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::printf("%-40s %8.1f ms   fastest %8.1f ms\n", what, sum / g_runs, *std::min_element(ms.begin(), ms.end()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString password = records::layout::kWorkbookPassword;
    QString path;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--password") && i + 1 < args.size())
            password = args[++i];
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            g_runs = std::max(1, args[++i].toInt());
        else
            path = args[i];
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "uso: contavio-bench-copy FILE [--password P] [--runs N]\n");
        return 2;
    }
    QTemporaryDir folder;
    const QString out = folder.filePath(QStringLiteral("copia.xls"));

    const QByteArray file = store::readWholeFile(path);
    const std::unique_ptr<store::Workbook> book = store::readWorkbookBytes(file, password);
    const QByteArray image = store::workbookBytes(*book);
    std::printf("%s: %.1f MB, saved %.1f MB, %d runs\n", qPrintable(path), file.size() / 1048576.0,
                image.size() / 1048576.0, g_runs);

    row("read the file", [&] { store::readWholeFile(path); });
    row("streams out of the compound file", [&] { store::cfb::read(file); });
    row("open from memory (with the above)", [&] { store::readWorkbookBytes(file, password); });
    row("file image in memory", [&] { store::workbookBytes(*book); });
    // Its parts: the records alone, the key stream alone, the key stream into the records.
    const QByteArray stream = [&] {
        store::xlswrite::Writer writer(*book);
        return writer.stream();
    }();
    row("  records of the stream, not encrypted", [&] { store::xlswrite::Writer(*book).stream(); });
    QByteArray scratch(stream.size(), '\0');
    row("  RC4 key stream as long, one thread", [&] {
        store::createProtection(password).cipher->apply(0, reinterpret_cast<uint8_t *>(scratch.data()), size_t(scratch.size()));
    });
    row("  the records encrypted (RC4 and XOR)", [&] {
        scratch = stream;
        store::biff::cipherRecords(reinterpret_cast<uint8_t *>(scratch.data()), scratch.size(), 0,
                                   *store::createProtection(password).cipher, true);
    });
    const std::vector<store::biff::CfbEntry> entries = store::cfb::read(image);
    row("compound file of the saved streams", [&] { store::cfb::write(entries); });
    row("write the file (flushed, renamed)", [&] { store::writeFileAtomically(out, image); });
    row("copy: open and save the file", [&] { store::writeWorkbook(*store::readWorkbook(path, password), out); });
    std::printf("peak %.1f MB\n", bench::peakMegabytes());
    return 0;
}
