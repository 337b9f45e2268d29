// Checks the parts of a ROS bag that the bag library parses when it opens a
// file (the file header, the connection and chunk information records at the
// index position, each chunk's header and the index records after it). The
// library trusts the field lengths inside record headers and reads past the
// end of a header whose field claims more bytes than remain, so a damaged
// recording is refused here first.
#pragma once

#include <string>

namespace recording::detail {

// True when every record header reached that way is well formed (or the file
// ends first: a file cut short is the bag library's to report). False with
// the problem in words, naming the byte offset of the bad record.
bool check_bag_headers(const std::string& path, std::string& problem);

}  // namespace recording::detail
