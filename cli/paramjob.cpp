#include "paramjob.h"

#include <QThread>

#include <memory>

QVector<StationRecord> runParamJob(const CliContext &ctx, JobKind kind, const JobSettings &settings)
{
    BusOutput output;
    output.trace = ctx.trace;
    output.logPath = ctx.logging() ? ctx.logPath : QString();
    output.failPrefix = QStringLiteral("vexa-cli: ");
    QVector<QVector<StationRecord>> perBus(settings.ports.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < settings.ports.size(); ++i) {
        threads.emplace_back(QThread::create([&, i] { perBus[i] = runStations(kind, settings, settings.ports[i], output); }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();

    QVector<StationRecord> records;
    const bool several = settings.ports.size() * settings.stations.size() > 1;
    for (const QVector<StationRecord> &bus : perBus) {
        for (const StationRecord &record : bus) {
            if (several)
                ctx.out << "== " << record.port << " station " << record.station << ": " << resultWord(record.exit) << '\n';
            ctx.out << record.out;
            ctx.err << record.err;
            records << record;
        }
    }
    ctx.out.flush();
    ctx.err.flush();
    return records;
}
