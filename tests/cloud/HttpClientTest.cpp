#include "CloudTestSupport.h"

#include <atomic>
#include <thread>

namespace vl::testing {
namespace {

using fakes::Reply;
using fakes::Route;

TEST_F(CloudTest, IdleAnswerEndsAfterTheTimeout)
{
    // The answer would come long after the timeout: only the timeout can end the call.
    Reply slow = Reply::json({{"ok", true}});
    slow.delay = std::chrono::seconds(120);
    vendor.inject(Route::verifyKey, slow);
    HttpRequest request;
    request.url = vendor.url("/v1/models");
    request.timeout = std::chrono::seconds(1);
    try {
        sharedHttpClient().perform(request, {});
        FAIL() << "the idle answer was waited out";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::timedOut);
    }
}

TEST_F(CloudTest, SlowButSteadyTransferIsNotCut)
{
    // Longer in total than the timeout, but never idle that long.
    // Not a compressible type: the fake would otherwise hold the gzip stream back.
    Reply steady = Reply::text(std::string(12 * 1024, 'x'), 200, "application/octet-stream");
    steady.chunkBytes = 1024;
    steady.chunkDelay = std::chrono::milliseconds(300);
    vendor.serveFile("/media/steady", steady);
    HttpRequest request;
    request.url = vendor.url("/media/steady");
    request.timeout = std::chrono::seconds(2);
    EXPECT_EQ(sharedHttpClient().perform(request, {}).body.size(), 12u * 1024);
}

TEST_F(CloudTest, AnAnswerThatDripsEndsWithAClearError)
{
    // Two bytes a second, for ever as far as the client can tell.
    Reply drip = Reply::text(std::string(64 * 1024, 'x'), 200, "application/octet-stream");
    drip.chunkBytes = 2;
    drip.chunkDelay = std::chrono::milliseconds(1000);
    vendor.serveFile("/media/drip", drip);
    HttpRequest request;
    request.url = vendor.url("/media/drip");
    request.timeout = std::chrono::seconds(2);
    request.lowSpeedBytesPerSecond = 100;
    try {
        sharedHttpClient().perform(request, {});
        FAIL() << "the drip was accepted";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::timedOut);
        EXPECT_STREQ(error.what(),
                     "The request timed out. The connection to 127.0.0.1 stalled (less than 100 bytes a second for 2 "
                     "seconds).");
    }
}

TEST_F(CloudTest, ASteadyTransferStillEndsAtItsDeadline)
{
    // Well above the low-speed limit, but longer in total than the deadline.
    Reply steady = Reply::text(std::string(2 << 20, 'x'), 200, "application/octet-stream");
    steady.chunkBytes = 8 * 1024;
    steady.chunkDelay = std::chrono::milliseconds(50);
    vendor.serveFile("/media/long", steady);
    HttpRequest request;
    request.url = vendor.url("/media/long");
    request.timeout = std::chrono::seconds(5);
    request.deadline = std::chrono::seconds(1);
    try {
        sharedHttpClient().perform(request, {});
        FAIL() << "the transfer outlived its deadline";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::timedOut);
        EXPECT_STREQ(error.what(), "The request timed out. 127.0.0.1 did not finish answering within 1 second.");
    }
}

TEST_F(CloudTest, HeaderWithLineBreakIsNeverSent)
{
    HttpRequest request;
    request.url = vendor.url("/v1/models");
    request.headers = {{"X-File-Name", "a.jpg\r\nAuthorization: Key stolen"}};
    try {
        sharedHttpClient().perform(request, {});
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::invalidRequest);
    }
    EXPECT_EQ(vendor.requestCount(), 0u);
}

TEST(HttpClientErrors, RefusedConnectionAndOtherSchemesAreTransportErrors)
{
    for (const char* address : {"http://127.0.0.1:1/", "file:///etc/passwd", "ftp://127.0.0.1/x"}) {
        HttpRequest request;
        request.url = address;
        EXPECT_THROW(sharedHttpClient().perform(request, {}), HttpError) << address;
    }
}

} // namespace
} // namespace vl::testing
