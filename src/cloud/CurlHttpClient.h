#pragma once

#include "cloud/HttpClient.h"

namespace vl {

// libcurl behind HttpClient. Stateless between calls, so one instance serves every
// worker thread at once; each call runs its own easy handle on its own multi handle
// so a stop request can wake the wait immediately.
class CurlHttpClient : public HttpClient {
public:
    CurlHttpClient();
    HttpResponse perform(const HttpRequest& request, std::stop_token stop) override;
};

} // namespace vl
