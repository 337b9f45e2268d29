// Which compression each chunk of a recording has on disk: raw phase frames
// go into chunks of their own compression (uncompressed by default), every
// other stream into chunks of the recording's compression, and the file
// still reads back exactly. The file is walked record by record here, apart
// from the bag library, so the test sees what is really stored.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "recording/reader.h"
#include "recording/topics.h"
#include "recording/writer.h"
#include "recording_test_support.h"

using namespace recording_test;
using recording::bit;
using recording::compression;
using recording::stream;

namespace {

struct chunk {
    std::string compression;
    std::set<std::string> topics;  // of the connections its index records name
};

uint32_t le32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The top-level records of a ROS bag 2.0 file: chunks (op 5) with their
// compression, the index records after each (op 4) naming a connection, and
// the connection records of the index section (op 7) giving its topic.
std::vector<chunk> chunks_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<chunk> chunks;
    std::vector<std::pair<size_t, uint32_t>> index_conns;  // chunk, connection
    std::map<uint32_t, std::string> topics;
    size_t at = 13;  // "#ROSBAG V2.0\n"
    while (at + 4 <= bytes.size()) {
        const uint32_t header_len = le32(&bytes[at]);
        if (at + 4 + header_len + 4 > bytes.size())
            break;
        std::map<std::string, std::string> fields;
        for (size_t f = at + 4; f + 4 <= at + 4 + header_len;) {
            const uint32_t len = le32(&bytes[f]);
            const std::string field = bytes.substr(f + 4, len);
            const size_t eq = field.find('=');
            fields[field.substr(0, eq)] = field.substr(eq + 1);
            f += 4 + len;
        }
        const size_t data_at = at + 4 + header_len + 4;
        const uint32_t data_len = le32(&bytes[at + 4 + header_len]);
        const char op = fields["op"].empty() ? 0 : fields["op"][0];
        if (op == 0x05)
            chunks.push_back({fields["compression"], {}});
        else if (op == 0x04 && !chunks.empty())
            index_conns.emplace_back(chunks.size() - 1, le32(fields["conn"].data()));
        else if (op == 0x07)
            topics[le32(fields["conn"].data())] = fields["topic"];
        at = data_at + data_len;
    }
    for (const auto& [k, conn] : index_conns)
        chunks[k].topics.insert(topics[conn]);
    return chunks;
}

struct layout_case {
    const char* name;
    compression compress, raw_compress;
    const char *processed_chunks, *raw_chunks;
};
void PrintTo(const layout_case& c, std::ostream* os) { *os << c.name; }

class ChunkLayout : public ::testing::TestWithParam<layout_case> { };

TEST_P(ChunkLayout, RawPhaseFramesHaveChunksOfTheirOwnCompression)
{
    const layout_case& c = GetParam();
    scratch_folder dir;
    const std::string path = dir.file("layout.bag");
    recording::writer_options options;
    options.compress = c.compress;
    options.raw_compress = c.raw_compress;
    capture_case what;
    what.compress = c.compress;
    const int count = 4;
    const capture_result cap = capture(path, what, count, options);
    ASSERT_TRUE(cap.closed) << cap.close_error;
    ASSERT_EQ(cap.status.raw_frames_written, uint64_t(count)) << "the virtual camera offers raw phase frames";

    const std::string raw_topic = recording::topics::image_topic(stream::raw_phase);
    int raw_chunks = 0, processed_chunks = 0;
    for (const chunk& k : chunks_of(path)) {
        if (k.topics.count(raw_topic)) {
            ++raw_chunks;
            EXPECT_EQ(k.compression, c.raw_chunks);
            if (c.compress != c.raw_compress) {
                for (const std::string& t : k.topics)
                    EXPECT_EQ(t.rfind("/tessivue/raw_phase/", 0), 0u) << t << " shares a chunk with raw phase frames";
            }
        } else {
            ++processed_chunks;
            EXPECT_EQ(k.compression, c.processed_chunks);
        }
    }
    EXPECT_GE(raw_chunks, 1);
    EXPECT_GE(processed_chunks, 1);

    std::string error;
    auto r = recording::reader::open(path, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->header().compression, recording::compression_name(c.compress));
    EXPECT_EQ(r->header().raw_phase_compression, recording::compression_name(c.raw_compress));
    ASSERT_EQ(r->size(), size_t(count));
    for (size_t i = 0; i < r->size(); ++i) {
        recording::frame_set f;
        ASSERT_TRUE(r->read(i, f, error)) << error;
        for (stream s : {stream::depth, stream::raw_phase}) {
            const size_t k = size_t(static_cast<int>(s));
            ASSERT_TRUE(f[s]) << recording::stream_name(s);
            ASSERT_EQ(f[s]->data.size(), cap.frames[i].pixels[k].size());
            EXPECT_TRUE(f[s]->data == cap.frames[i].pixels[k]) << recording::stream_name(s) << " of " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recording, ChunkLayout,
    ::testing::Values(layout_case{"Lz4WithPlainRaw", compression::lz4, compression::none, "lz4", "none"},
                      layout_case{"Lz4Throughout", compression::lz4, compression::lz4, "lz4", "lz4"},
                      layout_case{"PlainWithLz4Raw", compression::none, compression::lz4, "none", "lz4"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
