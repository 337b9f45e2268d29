#include "bag_check.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace recording::detail {
namespace {

constexpr uint64_t kFirstRecord = 13;           // after "#ROSBAG V2.0\n"
constexpr uint32_t kMaxHeaderBytes = 1u << 20;  // record headers are a few hundred bytes
constexpr uint8_t kOpIndexData = 0x04, kOpChunkInfo = 0x06, kOpConnection = 0x07;
// More records than this at the index position is not a recording.
constexpr uint64_t kMaxIndexRecords = 1u << 22;
constexpr uint32_t kMaxIndexBytes = 64u << 20;

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct record {
    uint64_t at = 0;       // offset of the record
    uint64_t data_at = 0;  // offset of its data
    uint32_t data_len = 0;
    uint64_t next = 0;  // offset of the record after it
    std::map<std::string, std::string> fields;
};

enum class read_result { ok,
                         ended,
                         malformed };

class bag_file {
public:
    bag_file(std::FILE* f, uint64_t size) : f_(f), size_(size) { }

    // The record at `at`: header fields checked against the header's length;
    // a connection record's data is a header too and is checked the same way.
    read_result read(uint64_t at, record& out)
    {
        out = record{};
        out.at = at;
        uint32_t header_len = 0;
        if (!read_at(at, &header_len, 4))
            return read_result::ended;
        if (header_len > kMaxHeaderBytes)
            return read_result::malformed;
        std::vector<uint8_t> header(header_len);
        if (header_len && !read_at(at + 4, header.data(), header_len))
            return read_result::ended;
        if (!parse_fields(header, &out.fields))
            return read_result::malformed;
        uint32_t data_len = 0;
        if (!read_at(at + 4 + header_len, &data_len, 4))
            return read_result::ended;
        out.data_at = at + 8 + header_len;
        out.data_len = data_len;
        out.next = at + 4 + header_len + 4 + data_len;
        uint8_t op = 0;
        const auto it = out.fields.find("op");
        if (it != out.fields.end() && it->second.size() == 1)
            op = static_cast<uint8_t>(it->second[0]);
        if (op == kOpConnection) {
            if (data_len > kMaxHeaderBytes)
                return read_result::malformed;
            std::vector<uint8_t> data(data_len);
            if (data_len && !read_at(at + 8 + header_len, data.data(), data_len))
                return read_result::ended;
            if (!parse_fields(data, nullptr))
                return read_result::malformed;
        }
        return read_result::ok;
    }

private:
    // Fields: a 4-byte length, then name=value; no field may run past the end.
    static bool parse_fields(const std::vector<uint8_t>& bytes, std::map<std::string, std::string>* fields)
    {
        const size_t len = bytes.size();
        size_t pos = 0;
        while (pos < len) {
            if (len - pos < 4)
                return false;
            uint32_t field_len = 0;
            std::memcpy(&field_len, bytes.data() + pos, 4);
            pos += 4;
            if (field_len > len - pos)
                return false;
            const char* field = reinterpret_cast<const char*>(bytes.data() + pos);
            const void* eq = std::memchr(field, '=', field_len);
            if (eq && fields) {
                const size_t name_len = static_cast<const char*>(eq) - field;
                (*fields)[std::string(field, name_len)] = std::string(field + name_len + 1, field_len - name_len - 1);
            }
            pos += field_len;
        }
        return true;
    }

public:
    bool read_data(const record& r, std::vector<uint8_t>& out)
    {
        out.resize(r.data_len);
        return r.data_len == 0 || read_at(r.data_at, out.data(), r.data_len);
    }

private:
    bool read_at(uint64_t at, void* buf, size_t n)
    {
        if (at > size_ || n > size_ - at)
            return false;
        return ::fseeko(f_, static_cast<off_t>(at), SEEK_SET) == 0 && std::fread(buf, 1, n, f_) == n;
    }

    std::FILE* f_;
    uint64_t size_;
};

template <typename T>
bool field_value(const record& r, const char* name, T& out)
{
    const auto it = r.fields.find(name);
    if (it == r.fields.end() || it->second.size() != sizeof(T))
        return false;
    std::memcpy(&out, it->second.data(), sizeof(T));
    return true;
}

uint8_t op_of(const record& r)
{
    uint8_t op = 0;
    field_value(r, "op", op);
    return op;
}

}  // namespace

bool check_bag_headers(const std::string& path, std::string& problem)
{
    std::unique_ptr<std::FILE, file_closer> f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return true;  // the bag library reports what cannot be opened
    if (::fseeko(f.get(), 0, SEEK_END) != 0)
        return true;
    const off_t end = ::ftello(f.get());
    if (end < 0)
        return true;
    bag_file bag(f.get(), static_cast<uint64_t>(end));
    const auto malformed = [&](uint64_t at) {
        problem = "the record header at byte " + std::to_string(at) + " is malformed (a field runs past its end)";
        return false;
    };

    record head;
    read_result r = bag.read(kFirstRecord, head);
    if (r == read_result::malformed)
        return malformed(kFirstRecord);
    uint64_t index_pos = 0;
    int32_t conn_count = 0, chunk_count = 0;
    if (r != read_result::ok || !field_value(head, "index_pos", index_pos) || index_pos == 0)
        return true;  // cut short or not indexed: the bag library says so
    field_value(head, "conn_count", conn_count);
    field_value(head, "chunk_count", chunk_count);

    // Connection and chunk information records, one after the other.
    std::vector<uint64_t> chunks;
    const uint64_t expected = uint64_t(conn_count > 0 ? conn_count : 0) + uint64_t(chunk_count > 0 ? chunk_count : 0);
    uint64_t at = index_pos;
    for (uint64_t k = 0; k < expected && k < kMaxIndexRecords; ++k) {
        record rec;
        r = bag.read(at, rec);
        if (r == read_result::malformed)
            return malformed(at);
        if (r == read_result::ended)
            break;
        uint64_t chunk_pos = 0;
        if (op_of(rec) == kOpChunkInfo && field_value(rec, "chunk_pos", chunk_pos))
            chunks.push_back(chunk_pos);
        at = rec.next;
    }
    // Each chunk's header and the index records after its data. An index
    // entry locates a message inside the (uncompressed) chunk; the library
    // reads there without checking, so every entry must lie inside it, and
    // in an uncompressed chunk the message record's header must be sound.
    for (const uint64_t chunk_pos : chunks) {
        record chunk;
        r = bag.read(chunk_pos, chunk);
        if (r == read_result::malformed)
            return malformed(chunk_pos);
        if (r == read_result::ended)
            continue;
        uint32_t chunk_size = 0;
        if (!field_value(chunk, "size", chunk_size))
            return malformed(chunk_pos);
        const auto compression = chunk.fields.find("compression");
        const bool plain = compression != chunk.fields.end() && compression->second == "none";
        at = chunk.next;
        for (uint64_t k = 0; k < kMaxIndexRecords; ++k) {
            record index;
            r = bag.read(at, index);
            if (r == read_result::malformed)
                return malformed(at);
            if (r == read_result::ended || op_of(index) != kOpIndexData)
                break;
            std::vector<uint8_t> entries;
            if (index.data_len > kMaxIndexBytes || !bag.read_data(index, entries))
                break;  // the library reports what it cannot read
            for (size_t e = 0; e + 12 <= entries.size(); e += 12) {
                uint32_t offset = 0;
                std::memcpy(&offset, entries.data() + e + 8, 4);
                if (uint64_t(offset) + 8 > chunk_size) {
                    problem = "the index record at byte " + std::to_string(at) + " points past the end of its chunk";
                    return false;
                }
                record message;
                if (plain && bag.read(chunk.data_at + offset, message) == read_result::malformed)
                    return malformed(chunk.data_at + offset);
            }
            at = index.next;
        }
    }
    return true;
}

}  // namespace recording::detail
