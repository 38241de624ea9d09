#pragma once

// The byte-source interfaces that chain the engine's stages: HTTP reader -> Quintrel
// demultiplexer -> decoder wrapper -> output. Every stage polls the one before it.

#include <exception>

namespace Amp {

class DataSource {
public:
    // Places up to `length` bytes at the start of `buffer`. Returns the count (1..length),
    // 0 when nothing is there yet (ask again), -1 at the end of the data. Failures are
    // thrown as player_exception.
    virtual int Read(void* buffer, unsigned length) = 0;

protected:
    ~DataSource() = default;
};

class DataSourceClient {
public:
    virtual void SetSource(DataSource* source) = 0;
    virtual DataSource* GetSource() = 0;

protected:
    ~DataSourceClient() = default;
};

// Thrown by a stage that notices its stream's stop request while it waits. Not an error:
// the stream thread's top handler swallows it without posting anything to the player.
struct stream_stopped : std::exception {
    const char* what() const noexcept override { return "stream stopped"; }
};

}  // namespace Amp
