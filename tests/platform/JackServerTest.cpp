#include <gtest/gtest.h>

#include "platform/JackServer.h"

// The fixture's own promise: a private server at the asked rate, reachable by
// its name through the default-server variable, gone after the test.
TEST(JackServerFixture, StartsPrivateServerAtItsRateAndStopsIt) {
    std::string name;
    {
        testutil::JackServer server(48000);
        ASSERT_TRUE(server.Ok()) << server.Error();
        EXPECT_EQ(server.Rate(), 48000);
        EXPECT_STREQ(std::getenv("JACK_DEFAULT_SERVER"), server.Name().c_str());
        name = server.Name();
    }
    jack_status_t status{};
    jack_client_t* client = jack_client_open("zavo-probe", JackOptions(JackNoStartServer | JackServerName),
                                             &status, name.c_str());
    EXPECT_EQ(client, nullptr);
    if (client) jack_client_close(client);
}
