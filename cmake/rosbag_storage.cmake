# ROS 1 bag storage from Debian (librosbag-storage-dev, libsensor-msgs-dev,
# libstd-msgs-dev), wrapped in one imported target: ros::rosbag_storage.
#
# Debian's rosbag_storage.pc requires a pkg-config module "pluginlib" that
# nothing installs, so pkg-config cannot resolve it; the flags are taken by
# hand. The headers of pluginlib, class_loader, rcpputils, rcutils and
# ament_index_cpp sit one folder deeper than usual (include/NAME/NAME/...).
if(TARGET ros::rosbag_storage)
  return()
endif()

find_path(ROSBAG_STORAGE_INCLUDE_DIR rosbag/bag.h REQUIRED)
find_path(SENSOR_MSGS_INCLUDE_DIR sensor_msgs/Image.h REQUIRED)
find_path(STD_MSGS_INCLUDE_DIR std_msgs/String.h REQUIRED)

set(_ros_include_dirs ${ROSBAG_STORAGE_INCLUDE_DIR} ${SENSOR_MSGS_INCLUDE_DIR} ${STD_MSGS_INCLUDE_DIR})
foreach(_pkg pluginlib class_loader rcpputils rcutils ament_index_cpp)
  find_path(_ros_${_pkg}_dir ${_pkg} PATHS /usr/include/${_pkg} /usr/local/include/${_pkg} NO_DEFAULT_PATH)
  if(NOT _ros_${_pkg}_dir)
    message(FATAL_ERROR "ROS bag storage: headers of ${_pkg} not found (install the Debian packages named in scripts/setup)")
  endif()
  list(APPEND _ros_include_dirs ${_ros_${_pkg}_dir})
endforeach()

set(_ros_libraries)
foreach(_lib rosbag_storage roscpp_serialization rostime cpp_common console_bridge roslz4
             class_loader rcpputils rcutils boost_filesystem)
  find_library(_ros_lib_${_lib} NAMES ${_lib} REQUIRED)
  list(APPEND _ros_libraries ${_ros_lib_${_lib}})
endforeach()

add_library(ros::rosbag_storage INTERFACE IMPORTED)
set_target_properties(ros::rosbag_storage PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_ros_include_dirs}"
  INTERFACE_LINK_LIBRARIES "${_ros_libraries}")
# Marked as system headers: they are not ours to warn about.
set_property(TARGET ros::rosbag_storage PROPERTY
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_ros_include_dirs}")
