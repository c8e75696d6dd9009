// Lines the control forgets: a control that is gone while its line stays open, and a second
// LineInitialize that discards open lines. (Their own executable: a forgotten line keeps an
// application in the layer for the rest of the process.)
#include "LineControlTestSupport.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

// The host drops a control without shutting its line; a call then offered on that line reaches the
// live control once and the dead one not at all, and nothing touches freed memory. Then a second
// LineInitialize re-creates the table: an open line is forgotten without being closed, and its
// notifications no longer find a line of the table (index 0).
TEST(LineControlLifetime, ForgottenLines)
{
    ControlHome home(simConf(2));
    {
        auto gone = TapiControl::create();
        ASSERT_NE(gone, nullptr);
        ASSERT_EQ(gone->LineInitialize(), 0);
        ASSERT_EQ(gone->LineOpen(0), 0);
    }
    home.initialiseAndOpen(0);
    home.sim(0).offerCall("1", "A");
    ASSERT_TRUE(home.waitForEvent("CallerID"));
    pump(50);
    EXPECT_EQ(home.events(), QStringList({"InComeCall(0)", "CallerID(0,A,1)"}));

    TapiControl& c = home.control();
    home.clearEvents();
    ASSERT_EQ(c.LineOpen(1), 0);
    ASSERT_EQ(c.LineInitialize(), 0);
    EXPECT_FALSE(c.LineOpened(1));
    home.sim(1).offerCall("2", "B");
    ASSERT_TRUE(home.waitForEvent("CallerID"));
    EXPECT_EQ(home.events(), QStringList({"InComeCall(0)", "CallerID(0,B,2)"}));
}
