// The whole road of a telephone alarm through the real station: the headless
// station as its own process, the telephone-modem and GSM-modem simulators
// and a real SMTP server, exactly as in the end-to-end tests.
// Run: build-bench/bench/bench_road  (needs /usr/bin/python3 and python3-aiosmtpd;
// build optimised, e.g. -DCMAKE_BUILD_TYPE=Release -DORVA_BUILD_BENCH=ON)
//
// - BM_P100AlarmRoad: 50 P100 alarm calls, one after the other. For each, the
//   time from the last byte of the P100 message frame on the wire (the modem
//   simulator's time stamp, printed just before it writes the frame) to
//     row   the AlarmInfo row being committed (seen by a reader of the
//           database file, polled every 0.25 ms),
//     line  the station's ALARM line on standard output,
//     mail  the mail being accepted by the SMTP server (its file appears,
//           polled every 0.25 ms). The mail handler rests 5 s after each
//           mail, so the calls are spaced to meet it idle.
//   Median and 99th percentile of each, in milliseconds. The delays that the
//   call itself prescribes (rings, the second before the protocol starts, the
//   modem's reception of the message) lie before the frame and do not count.
// - BM_IdleCpu: CPU time of the idle headless station with both simulators
//   attached, over a full minute once start-up has settled (10 s after both
//   modems are up), as a percentage of one core; the same for each simulator, and for each of the station's threads (by
//   name and thread id), which shows a worker that still spins.

#include "e2e/StationRig.h"

#include <benchmark/benchmark.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// ORVA_ROAD_ALARMS sets another count for a quick look.
int AlarmCount()
{
    const char* text = std::getenv("ORVA_ROAD_ALARMS");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 50;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Median and 99th percentile (nearest rank) of the values.
struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Spread SpreadOf(std::vector<double> values)
{
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    size_t rank = (99 * n + 99) / 100;  // ceil(0.99 n)
    s.p99 = values[std::min(n, std::max<size_t>(rank, 1)) - 1];
    s.max = values.back();
    return s;
}

// A reader of the station's database that counts the alarm rows; one
// connection kept open, so that a look costs a query and nothing more.
class RowCounter {
public:
    explicit RowCounter(const std::string& file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        db.setDatabaseName(QString::fromStdString(file));
        // No busy wait inside SQLite: its busy handler sleeps whole
        // milliseconds (1, 2, 5, 10 ...), which would be measured as latency.
        // A look that finds the file busy just counts as "not yet".
        // Not read-only: a read-only connection may not share the station's
        // WAL index in memory and would read the log file at every look.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        e2e::Require(db.open(), "opening the database for reading");
        query = std::make_unique<QSqlQuery>(db);
        query->prepare(QStringLiteral("SELECT count(*) FROM AlarmInfo"));
    }
    ~RowCounter()
    {
        query.reset();
        QSqlDatabase::database(kName, false).close();
        QSqlDatabase::removeDatabase(kName);
    }
    int Count()
    {
        if (!query->exec() || !query->next())
            return -1;
        const int n = query->value(0).toInt();
        query->finish();
        return n;
    }

private:
    static constexpr const char* kName = "bench-row-counter";
    std::unique_ptr<QSqlQuery> query;
};

// The modem simulator prints "<seconds since its start> <event>". Its start
// on our clock is found from the lines themselves: a line is read after it
// was printed, so the smallest (read time - printed time) is the start, to
// within the millisecond rounding of the printed time.
class ModemClock {
public:
    void Learn(ChildProcess& modem)
    {
        const size_t n = modem.LineCount();
        for (; seen < n; ++seen) {
            const double t = Stamp(modem.Line(seen));
            if (t < 0)
                continue;
            const Clock::time_point candidate =
                modem.LineTime(seen) - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t));
            if (!known || candidate < origin)
                origin = candidate;
            known = true;
        }
    }
    Clock::time_point At(const std::string& line) const
    {
        return origin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Stamp(line)));
    }
    static double Stamp(const std::string& line)
    {
        try {
            size_t used = 0;
            const double t = std::stod(line, &used);
            return used > 0 ? t : -1;
        } catch (...) {
            return -1;
        }
    }

private:
    size_t seen = 0;
    bool known = false;
    Clock::time_point origin{};
};

std::string Call()
{
    return R"(call {"delay_ms": 200, "caller_id": "+46701234567",)"
           R"( "ring": {"on_ms": 300, "off_ms": 300, "count": 8},)"
           R"( "telephone": {"type": "p100", "code": 0, "identity": "12345678"}})";
}

// Waits for the first line from `from` on that has the text after its time
// stamp; returns its index.
std::optional<size_t> WaitEvent(e2e::StationRig& rig, ChildProcess& p, const std::string& text, size_t from,
                                std::chrono::milliseconds limit = 30s)
{
    std::optional<size_t> found;
    rig.Until([&] { return (found = e2e::StationRig::FindLine(&p, text, from, true)).has_value(); }, limit);
    return found;
}

void BM_P100AlarmRoad(benchmark::State& state)
{
    for (auto _ : state) {
        try {
            e2e::StationRig rig;
            rig.AddLift(e2e::Lift("12345678", "Lift A, main stairs"));
            rig.StartModem(R"({"modem": {"p100_message_delay_ms": 50}})", {"--timestamps"});
            rig.StartGsm();
            rig.StartMailServer();
            rig.StartStation("Bench");
            e2e::Require(rig.WaitStationReady(), "the station did not start");
            e2e::Require(rig.WaitModemReady(), "the telephone modem did not come up");
            RowCounter rows(rig.DatabaseFile());
            ModemClock modemClock;

            std::vector<double> toRow, toLine, toMail;
            size_t modemFrom = 0;
            size_t stationFrom = 0;
            const int alarms = AlarmCount();
            for (int i = 0; i < alarms; ++i) {
                rig.modem->Send(Call());
                // Woken by the line itself, so that the polling below starts
                // at once (a row already there at the first look would be
                // measured too late).
                const auto msg = rig.modem->WaitForText(" P100-MSG ", 30s, modemFrom);
                e2e::Require(msg.has_value(), "call " + std::to_string(i + 1) + ": no P100 message");
                modemClock.Learn(*rig.modem);
                const Clock::time_point wire = modemClock.At(rig.modem->Line(*msg));

                Clock::time_point rowAt{}, mailAt{};
                const auto until = Clock::now() + 30s;
                while ((rowAt == Clock::time_point{} || mailAt == Clock::time_point{}) && Clock::now() < until) {
                    if (rowAt == Clock::time_point{} && rows.Count() >= i + 1)
                        rowAt = Clock::now();
                    if (mailAt == Clock::time_point{} && rig.mail->HasMail(i + 1))
                        mailAt = Clock::now();
                    std::this_thread::sleep_for(250us);
                }
                e2e::Require(rowAt != Clock::time_point{}, "call " + std::to_string(i + 1) + ": no row");
                e2e::Require(mailAt != Clock::time_point{}, "call " + std::to_string(i + 1) + ": no mail");
                const auto line = WaitEvent(rig, *rig.station, " ALARM ", stationFrom);
                e2e::Require(line.has_value(), "no ALARM line");
                toRow.push_back(Ms(rowAt - wire));
                toLine.push_back(Ms(rig.station->LineTime(*line) - wire));
                toMail.push_back(Ms(mailAt - wire));
                stationFrom = *line + 1;

                const auto end = WaitEvent(rig, *rig.modem, " CALL end ", *msg);
                e2e::Require(end.has_value(), "the call did not end");
                modemFrom = *end + 1;
                // The mail handler rests 5 s after each mail; the next alarm
                // frame comes later than that (about 1.5 s of the next call
                // lie before it), so every mail meets an idle handler and the
                // figure is the road itself, not the queue.
                std::this_thread::sleep_until(mailAt + 4s);
            }
            e2e::Require(rig.StopStation() == 0, "the station did not stop cleanly");

            const Spread row = SpreadOf(toRow), line = SpreadOf(toLine), mail = SpreadOf(toMail);
            state.counters["row_median_ms"] = row.median;
            state.counters["row_p99_ms"] = row.p99;
            state.counters["row_max_ms"] = row.max;
            state.counters["line_median_ms"] = line.median;
            state.counters["line_p99_ms"] = line.p99;
            state.counters["mail_median_ms"] = mail.median;
            state.counters["mail_p99_ms"] = mail.p99;
            std::fprintf(stderr,
                         "%d P100 alarms, from the last byte of the frame on the wire (ms):\n"
                         "  committed AlarmInfo row   median %7.2f   p99 %7.2f   max %7.2f\n"
                         "  ALARM line on the terminal median %7.2f   p99 %7.2f   max %7.2f\n"
                         "  mail accepted by SMTP      median %7.2f   p99 %7.2f   max %7.2f\n",
                         alarms, row.median, row.p99, row.max, line.median, line.p99, line.max, mail.median, mail.p99,
                         mail.max);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
    }
}
BENCHMARK(BM_P100AlarmRoad)->Iterations(1)->Unit(benchmark::kSecond);

// utime + stime of a process or of one of its threads (a /proc/.../stat
// file), in seconds; -1 when it cannot be read. The name in parentheses may
// hold spaces, so the fields are counted from the closing one.
double CpuSecondsOf(const std::string& statPath, std::string* name = nullptr)
{
    std::ifstream in(statPath);
    std::string text;
    std::getline(in, text);
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return -1;
    if (name != nullptr)
        *name = text.substr(open + 1, close - open - 1);
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double CpuSeconds(pid_t pid)
{
    return CpuSecondsOf("/proc/" + std::to_string(pid) + "/stat");
}

// Time on the CPU of each live thread of a process, by thread id, in
// seconds; from schedstat (nanoseconds) where the kernel keeps it, else from
// the tick counts of stat.
struct ThreadCpu {
    std::string name;
    double seconds = 0;
};

std::map<long, ThreadCpu> ThreadCpus(pid_t pid)
{
    std::map<long, ThreadCpu> threads;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
        const std::string tid = entry.path().filename().string();
        ThreadCpu cpu;
        cpu.seconds = CpuSecondsOf(entry.path() / "stat", &cpu.name);
        std::ifstream sched(entry.path() / "schedstat");
        unsigned long long ns = 0;
        if (sched >> ns)
            cpu.seconds = static_cast<double>(ns) / 1e9;
        if (cpu.seconds >= 0)
            threads[std::stol(tid)] = cpu;
    }
    return threads;
}

// ORVA_IDLE_SECONDS and ORVA_IDLE_SETTLE_SECONDS set another window and
// settling time for a quick look.
int SecondsFromEnv(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : fallback;
}

void BM_IdleCpu(benchmark::State& state)
{
    for (auto _ : state) {
        try {
            e2e::StationRig rig;
            rig.AddLift(e2e::Lift("12345678", "Lift A, main stairs"));
            rig.StartModem();
            rig.StartGsm(R"({"modem": {"model": "SIEMENS TC35"}})");
            rig.StartMailServer();
            rig.StartStation("Bench");
            e2e::Require(rig.WaitStationReady(), "the station did not start");
            e2e::Require(rig.WaitModemReady() && rig.WaitGsmReady(), "the modems did not come up");
            // Start-up work (the modems' set-up, the first reads of the
            // database, the first test-alarm check) is over well before this.
            std::this_thread::sleep_for(std::chrono::seconds(SecondsFromEnv("ORVA_IDLE_SETTLE_SECONDS", 10)));

            const pid_t station = rig.station->Pid();
            const pid_t pids[] = {station, rig.modem->Pid(), rig.gsm->Pid()};
            constexpr int kProcesses = 3;
            double before[kProcesses], after[kProcesses];
            for (int i = 0; i < kProcesses; ++i)
                before[i] = CpuSeconds(pids[i]);
            const std::map<long, ThreadCpu> threadsBefore = ThreadCpus(station);
            const auto start = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(SecondsFromEnv("ORVA_IDLE_SECONDS", 60)));
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            for (int i = 0; i < kProcesses; ++i)
                after[i] = CpuSeconds(pids[i]);
            const std::map<long, ThreadCpu> threadsAfter = ThreadCpus(station);
            e2e::Require(rig.StopStation() == 0, "the station did not stop cleanly");

            double pct[kProcesses];
            for (int i = 0; i < kProcesses; ++i)
                pct[i] = 100.0 * (after[i] - before[i]) / wall;
            state.counters["station_cpu_pct"] = pct[0];
            state.counters["modemsim_cpu_pct"] = pct[1];
            state.counters["gsmsim_cpu_pct"] = pct[2];
            std::fprintf(stderr,
                         "idle CPU over %.0f s (percent of one core): station %.3f, modemsim %.3f, gsmsim %.3f\n", wall,
                         pct[0], pct[1], pct[2]);

            // The station's threads, busiest first; a thread that did not
            // live through the whole window is left out.
            std::vector<std::pair<double, std::string>> threads;
            for (const auto& [tid, cpu] : threadsAfter) {
                const auto was = threadsBefore.find(tid);
                if (was == threadsBefore.end())
                    continue;
                threads.emplace_back(100.0 * (cpu.seconds - was->second.seconds) / wall,
                                     cpu.name + " (" + std::to_string(tid) + ")");
            }
            std::sort(threads.begin(), threads.end(), std::greater<>());
            for (const auto& [share, name] : threads)
                std::fprintf(stderr, "  station thread %-28s %.3f\n", name.c_str(), share);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
    }
}
BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
