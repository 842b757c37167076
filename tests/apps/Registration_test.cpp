// Programs register the scheduler library themselves when they find it unregistered, so on a
// fresh machine many of them may register at once, and others activate the library while one
// registers it again. Each must find the library whole. ZYN_RACE_TRIALS sets the number of
// trials.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "apps/ProductSandbox.h"

namespace {

constexpr int kClients = 16;

TEST(Registration, ClientsStartedAtOnceOnAFreshRegistryAllSucceed) {
    for (int trial = 0; trial < RaceTrials(); ++trial) {
        const ProductSandbox sandbox;
        const std::string task = sandbox.WriteFile(
            "once.xml",
            TaskDocument("once",
                         "<Trigger Type=\"0\"><BeginDate>2030-01-01 08:00:00</BeginDate></Trigger>",
                         "true"));
        std::vector<std::unique_ptr<ChildProcess>> clients;
        for (int client = 0; client < kClients; ++client) {
            // Every fourth registers again while the others look the class up and activate it.
            const std::vector<std::string> args = client % 4 == 3
                                                      ? std::vector<std::string>{"register"}
                                                      : std::vector<std::string>{"next", task};
            clients.push_back(sandbox.StartClient(args, "client" + std::to_string(client)));
        }
        for (int client = 0; client < kClients; ++client) {
            const std::string name = "client" + std::to_string(client);
            const ProgramResult result = sandbox.Output(name, clients[client]->Wait());
            EXPECT_EQ(result.status, 0)
                << "trial " << trial << ", " << name << ": " << result.errors;
            if (client % 4 != 3) {
                EXPECT_EQ(result.output.rfind("2030-01-01 08:00:00", 0), 0u)
                    << "trial " << trial << ": " << result.output;
            }
        }
        if (HasFailure()) {
            return;
        }
    }
}

}  // namespace
