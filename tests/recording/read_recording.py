# A client outside Tessivue: Debian's python3-rosbag reads a recording and
# reports, as one JSON object, its topics with their message types and
# counts, the encoding and size of each image topic's first message, and the
# depth pixel at the row and column given on the command line.
import json
import struct
import sys

import rosbag

path, row, column = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
bag = rosbag.Bag(path)
info = bag.get_type_and_topic_info()
out = {"topics": {t: {"type": v.msg_type, "count": v.message_count} for t, v in info.topics.items()},
       "images": {}}
for topic in info.topics:
    if info.topics[topic].msg_type != "sensor_msgs/Image":
        continue
    for _, msg, _ in bag.read_messages(topics=[topic]):
        out["images"][topic] = {"encoding": msg.encoding, "width": msg.width, "height": msg.height,
                                "step": msg.step, "seq": msg.header.seq}
        if topic == "/tessivue/depth/image_raw":
            offset = row * msg.step + 2 * column
            out["depth_pixel"] = struct.unpack_from("<H", msg.data, offset)[0]
        break
for _, msg, _ in bag.read_messages(topics=["/tessivue/depth/camera_info"]):
    out["depth_K"] = list(msg.K)
    out["distortion_model"] = msg.distortion_model
    break
bag.close()
print(json.dumps(out))
