// Replays a fuzz target's corpus as an ordinary test, so that every input that once
// found a fault (and the seeds) runs with every build.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(FLOT_FUZZ_SUITE, ReplaysCleanly) {
  const QDir corpus(QStringLiteral(FLOT_FUZZ_CORPUS));
  const QStringList files = corpus.entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << "no corpus in " << qPrintable(corpus.path());
  for (const QString& name : files) {
    QFile file(corpus.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                     static_cast<size_t>(bytes.size())),
              0)
        << qPrintable(name);
  }
}

}  // namespace
