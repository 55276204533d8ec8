#pragma once

// A case that cannot run here for want of an input (the shared folder, a program, a device)
// skips through CONTAVIO_SKIP: besides Qt Test's own note it prints the line the suite's
// runner looks for (tests/support/run-test.sh), so that CTest reports the test "Skipped"
// and not "Passed". A case that has no meaning here (the administrator reads every file)
// skips with plain QSKIP.

#include <QString>
#include <QTest>
#include <cstdio>

#define CONTAVIO_SKIP(reason)                                                                  \
    do {                                                                                       \
        const QString whyNot_ = (reason);                                                      \
        std::printf("CONTAVIO-SKIP: %s\n", qPrintable(whyNot_));                               \
        std::fflush(stdout);                                                                   \
        QSKIP(qPrintable(whyNot_));                                                            \
    } while (false)
