#pragma once

#include "feed/feedsettings.h"
#include "feed/feedsink.h"

#include <memory>
#include <string>

namespace kelvalog {

// Writes ticks as line protocol with one HTTP POST per batch to /write;
// the database acknowledges with 204.
class TInfluxSink : public TFeedSink
{
public:
    TInfluxSink(TInfluxSettings Settings, std::string Host);
    ~TInfluxSink() override;
    bool Deliver(std::span<const THistoryTick> Ticks, std::string& Error) override;
    void Drop() override;

private:
    struct TCurl;
    const TInfluxSettings FSettings;
    const std::string FHost;
    std::string FWriteUrl;
    std::unique_ptr<TCurl> FCurl;
};

} // namespace kelvalog
