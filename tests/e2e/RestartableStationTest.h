#pragma once
// The fixture of the end-to-end tests that stop, kill and start the station
// again on the same data folder: the rig, the stations that ran before (kept
// for the report of a failed test), and the three ways a run ends or begins.

#include "StationRig.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

class RestartableStationTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (HasFailure()) {
            std::string earlier;
            for (const auto& station : stoppedStations)
                earlier += station->Transcript();
            std::fprintf(stderr, "--- what the processes printed ---\n%s%s\n", earlier.c_str(),
                         rig.Transcripts().c_str());
        }
    }

    // The service manager's stop: SIGTERM, and the exit code 0 (with the
    // sanitizers, that also means no leak and no error on the way out).
    void ExpectCleanStop()
    {
        const int code = rig.StopStation();
        EXPECT_EQ(code, 0) << "the station did not stop cleanly (status " << rig.station->RawStatus() << ")";
    }

    // A crash or a power cut: SIGKILL, and the process is gone.
    void KillStation()
    {
        ASSERT_TRUE(rig.station && rig.station->Running()) << "no station to kill";
        ::kill(rig.station->Pid(), SIGKILL);
        rig.station->WaitExit(10s);
        ASSERT_FALSE(rig.station->Running());
    }

    // Starts the station and waits until it and its modems are ready. A
    // station that ran before is kept for the report of a failed test.
    void StartStation()
    {
        if (rig.station)
            stoppedStations.push_back(std::move(rig.station));
        const size_t gsmLines = rig.gsm ? rig.gsm->LineCount() : 0;
        const size_t modemLines = rig.modem ? rig.modem->LineCount() : 0;
        rig.StartStation();
        ASSERT_TRUE(rig.WaitStationReady()) << "the station did not start";
        if (rig.gsm) {
            ASSERT_TRUE(rig.WaitLine(rig.gsm.get(), "CMD AT+CMGL", 30s, gsmLines)) << "the GSM modem is not ready";
        }
        if (rig.modem) {
            ASSERT_TRUE(rig.WaitLine(rig.modem.get(), "IDENT", 30s, modemLines)) << "the modem is not ready";
        }
    }

    StationRig rig;
    std::vector<std::unique_ptr<ChildProcess>> stoppedStations;
};

}  // namespace e2e
