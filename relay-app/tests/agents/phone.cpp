// A phone for the real-agents suite: the kit's RelayClient driven from the
// command line, so the suite answers the agents' prompts exactly as a paired
// phone would (pinned TLS, the kit's own coding and error texts).
//
//   idlewyn_test_phone pair PROVIDER URL CODE        prints the connection (plain JSON)
//   idlewyn_test_phone sessions CONNECTION_FILE      prints the sessions (relay JSON)
//   idlewyn_test_phone decide CONNECTION_FILE PROMPT_ID allow|deny|always
//
// Exit 0 on success; otherwise the error's user-facing text on stderr and exit 1.

#include "model/agent_session.h"
#include "relay/connection.h"
#include "relay/relay_client.h"
#include "support/outcome.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

using namespace idlewyn;

namespace {

int fail(const QString& text)
{
    QTextStream(stderr) << text << Qt::endl;
    return 1;
}

Connection readConnection(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    return json::plain.decode<Connection>(file.readAll());
}

template <class T>
int finish(const testing::Outcome<T>& outcome)
{
    return outcome.succeeded() ? 0 : fail(outcome.errorText());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        return fail(QStringLiteral("usage: pair|sessions|decide …"));
    }
    RelayClient client;
    try {
        const QString& verb = args.at(0);
        if (verb == QLatin1String("pair") && args.size() == 4) {
            auto provider = agentProviderFromRawValue(args.at(1));
            if (!provider) {
                return fail(QStringLiteral("unknown provider"));
            }
            auto outcome = testing::outcomeOf(client.pair(*provider, QUrl(args.at(2)), args.at(3)));
            if (outcome.succeeded()) {
                std::fputs(json::plain.encode(*outcome.value).constData(), stdout);
            }
            return finish(outcome);
        }
        if (verb == QLatin1String("sessions") && args.size() == 2) {
            auto outcome = testing::outcomeOf(client.sessions(readConnection(args.at(1))));
            if (outcome.succeeded()) {
                std::fputs(json::relay.encode(*outcome.value).constData(), stdout);
            }
            return finish(outcome);
        }
        if (verb == QLatin1String("decide") && args.size() == 4) {
            auto decision = permissionDecisionFromRawValue(args.at(3));
            if (!decision) {
                return fail(QStringLiteral("unknown decision"));
            }
            return finish(testing::outcomeOf(client.decide(*decision, args.at(2), readConnection(args.at(1)))));
        }
    } catch (const Error& error) {
        return fail(error.description());
    } catch (const std::exception& error) {
        return fail(QString::fromUtf8(error.what()));
    }
    return fail(QStringLiteral("usage: pair|sessions|decide …"));
}
