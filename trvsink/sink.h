// trvsink's PostgreSQL side: the schema (created and migrated here) and the
// write of one batch of messages from the shops, in one transaction. Every
// row has a unique key taken from the message itself, and every insert is
// ON CONFLICT DO NOTHING: a message delivered again writes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pqxx/pqxx>

namespace trvsink {

// What a message's subject says: tarvik.<shop>.<register>.<kind>.
struct Subject {
    std::string shop, reg, kind;
};
// False for a subject of another form.
bool parseSubject(const std::string& subject, Subject& out);

struct Message {
    std::string subject, msgid, data;
};

struct Written {
    size_t rows = 0;        // rows inserted (duplicates write none)
    size_t duplicates = 0;  // messages whose row was there already
    size_t rejected = 0;    // messages kept aside as unreadable
};

class Sink {
public:
    // Connects; throws pqxx's errors.
    explicit Sink(const std::string& conninfo);
    ~Sink();
    // Brings the schema to the newest version (under an advisory lock, so
    // that two sinks starting together migrate once).
    int migrate();
    static int schemaVersion();
    // Writes the batch in one transaction; throws when it did not commit
    // (then nothing of it is written).
    Written write(const std::vector<Message>& batch);

private:
    Written writeBatch(const std::vector<Message>& batch);
    std::unique_ptr<pqxx::connection> c_;
};

}  // namespace trvsink
