// The real client against the local three-node cluster (server/cluster/run-local.sh):
// NATS, PostgreSQL, three zorvid nodes and HAProxy in front of them on 127.0.0.1.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "e2e/e2e_client.h"

namespace {

// The cluster's script, stopped (SIGTERM: it stops everything it started) when destroyed.
class LocalCluster {
public:
    // Free ports are picked before they are bound, so another program may take one first:
    // then the script ends, and it is started again.
    LocalCluster() {
        for (int attempt = 0; attempt < 3 && !ready(); ++attempt) Start();
    }

    void Start() {
        output_.clear();
        script_.setProgram(QStringLiteral(KV_RUN_LOCAL));
        script_.setArguments({QStringLiteral("--build"), QStringLiteral(KV_BUILD_DIR),
                              QStringLiteral("--ports"), QStringLiteral("auto"),
                              QStringLiteral("--http-port"), QStringLiteral("-1")});
        script_.setProcessChannelMode(QProcess::MergedChannels);
        script_.start();
        static const QRegularExpression ready(
            QStringLiteral(R"(^ready .* login=(\d+) service=(\d+))"));
        (void)QTest::qWaitFor(  // ready() tells whether it came
            [&] {
                output_ += QString::fromUtf8(script_.readAll());
                for (const auto& line : output_.split(u'\n')) {
                    const auto m = ready.match(line);
                    if (m.hasMatch()) {
                        ports_.login = m.captured(1).toInt();
                        ports_.service = m.captured(2).toInt();
                        return true;
                    }
                }
                return script_.state() == QProcess::NotRunning;
            },
            90'000);
    }
    ~LocalCluster() {
        script_.terminate();
        if (!script_.waitForFinished(60'000)) script_.kill();
        script_.waitForFinished(5000);
    }
    bool ready() const { return ports_.login > 0; }
    const ServicePorts& ports() const { return ports_; }
    const QString& output() const { return output_; }

private:
    QProcess script_;
    QString output_;
    ServicePorts ports_;
};

TEST(ClusterE2E, TwoPeopleMeetTalkAndFindEachOtherThroughTheBalancer) {
    LocalCluster cluster;
    ASSERT_TRUE(cluster.ready()) << cluster.output().toStdString();
    MeetTalkAndFind(cluster.ports(), QStringLiteral("127.0.0.1"));
}

}  // namespace
