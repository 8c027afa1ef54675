// Every committed fuzzing input, seeds and inputs that once failed alike,
// run through its target in the ordinary suite.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzTargets.h"

namespace {

TEST(FuzzCorpusTest, EveryCommittedInputKeepsItsPromises) {
    const struct {
        const char* corpus;
        void (*target)(const uint8_t*, size_t);
    } targets[] = {
        {"dialect", tavix::fuzz::dialect},
        {"server_dialect", tavix::fuzz::serverDialect},
        {"filter", tavix::fuzz::filter},
        {"connection_string", tavix::fuzz::connectionString},
        {"color_setting", tavix::fuzz::colorSetting},
        {"integer_setting", tavix::fuzz::integerSetting},
    };
    for (const auto& t : targets) {
        const QDir dir(QStringLiteral(TAVIX_FUZZ_CORPUS "/") + t.corpus);
        const QStringList names = dir.entryList(QDir::Files, QDir::Name);
        EXPECT_FALSE(names.isEmpty()) << dir.path().toStdString();
        for (const QString& name : names) {
            SCOPED_TRACE(dir.filePath(name).toStdString());
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray input = file.readAll();
            t.target(reinterpret_cast<const uint8_t*>(input.constData()),
                     static_cast<size_t>(input.size()));
        }
    }
}

}  // namespace
