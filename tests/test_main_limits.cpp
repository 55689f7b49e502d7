// The program itself under an address-space limit: every run ends, with its
// files written whole, or with its reason on standard error, status 1 and
// nothing left behind.
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>

#include "CostCorpus.h"
#include "HangGuard.h"
#include "InstalledProgram.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

class MemoryLimits : public InstalledProgram {
protected:
    void SetUp() override
    {
#ifdef __SANITIZE_ADDRESS__
        GTEST_SKIP() << "the sanitizers' shadow memory takes more address space than any limit allows";
#endif
        InstalledProgram::SetUp();
    }

    // Runs the program with Args under a limit of Megabytes of address
    // space; a run that outlives the guard is stopped and counts as hung.
    Outcome run(const QStringList& args, rlim_t megabytes, const QString& tmp)
    {
        QProcessEnvironment env = batchEnvironment();
        env.insert("TMPDIR", tmp);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.setChildProcessModifier([bytes = megabytes * 1000 * 1024] {
            const rlimit limit {bytes, bytes};
            setrlimit(RLIMIT_AS, &limit);
        });
        p.start(installed.filePath("pictorium"), args);
        if (!p.waitForFinished(kHangGuard)) {
            p.kill();
            p.waitForFinished(kHangGuard);
            ADD_FAILURE() << "the run hung";
            return {};
        }
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "ended by signal " << p.exitCode();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
};

QStringList temporaries(const QString& dir)
{
    QStringList found;
    QDirIterator it(dir, {QStringLiteral(".pictorium-*")}, QDir::AllEntries | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

}  // namespace

TEST_F(MemoryLimits, ARunEndsWithItsFilesOrWithAnErrorUnderEveryLimit)
{
    // One 1024-pixel PNG shared by all groups: each icon is a large image
    // made small, which the toolkit would split across threads.
    const fixture::IcoImage large = fixture::pngImage(1024, 1024);
    const QString many = work.filePath("many.dll");
    const QString some = work.filePath("some.dll");
    fixture::writeFile(many.toStdString(), fixture::moduleOfSharedGroups(large, 10000));
    fixture::writeFile(some.toStdString(), fixture::moduleOfSharedGroups(large, 1000));
    const struct {
        const char* what;
        const QString& source;
        const char* dest;
        QStringList switches;
    } kinds[] = {
        {"the first icon as a picture", many, "out/first.png", {}},
        {"all icons as one picture", some, "out/all.png", {"-alliconsasoneimage"}},
        {"every icon as a picture", many, "out/pictures", {"-iconindex=0", "-desttype=PNG"}},
        {"an HTML page", many, "out/page.htm", {}},
        {"a PDF document", many, "out/doc.pdf", {}},
    };
    for (const rlim_t megabytes : {100, 110, 120, 135, 150, 175, 200}) {
        for (const auto& kind : kinds) {
            SCOPED_TRACE(testing::Message() << kind.what << " under " << megabytes << " MB");
            const QString out = work.filePath("out");
            const QString tmp = work.filePath("tmp");
            QDir(out).removeRecursively();
            QDir(tmp).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(tmp));
            const QString dest = work.filePath(kind.dest);
            const Outcome o = run(QStringList {"-e", kind.source, dest, "-closewhendone"} + kind.switches,
                                  megabytes, tmp);
            EXPECT_TRUE(o.status == 0 || o.status == 1) << o.status << ' ' << o.err.toStdString();
            if (o.status == 1) {
                EXPECT_TRUE(o.err.startsWith(QLatin1String("Pictorium: "))) << o.err.toStdString();
                EXPECT_TRUE(QDir(out).isEmpty()) << QDir(out).entryList().join(u' ').toStdString();
            }
            if (o.status == 0 && QString(kind.dest).endsWith(QLatin1String(".png"))) {
                EXPECT_FALSE(QImage(dest).isNull());
            }
            EXPECT_EQ(temporaries(work.path()), QStringList());
        }
    }
}
