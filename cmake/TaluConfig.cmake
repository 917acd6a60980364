# The servers and identifiers the checker talks to are fixed when it is built.
# A deployment (or the simulated home network of lab/) builds its own by
# setting these cache variables; README.md lists what each one is for.
set(TALU_REACHABILITY_URL "http://nmcheck.gnome.org/check_network_status.txt"
    CACHE STRING "Plain-HTTP page opened by the Internet check (row 0)")
set(TALU_SCHEDULER_HOST "scheduler.talu-p2p.example"
    CACHE STRING "Host of the client's scheduler service, UDP 80 (row 3)")
set(TALU_HIGHSPEED_SCHEDULER_HOST "hs-scheduler.talu-p2p.example"
    CACHE STRING "Host of the client's high-speed scheduler service, UDP 80 (row 5)")
set(TALU_PRIMARY_STUN_HOST "stun.stunprotocol.org"
    CACHE STRING "Primary classic STUN server, UDP 3478 (row 2); its TCP 8080 serves the peer-protocol probes (rows 6-8)")
set(TALU_SECONDARY_STUN_HOST "stun.sipgate.net"
    CACHE STRING "Secondary classic STUN server, asked when the primary gives no verdict (row 2)")
set(TALU_STUN_FALLBACK_ADDRESS "192.0.2.1"
    CACHE STRING "Dotted IPv4 address used when a STUN server name does not resolve")
set(TALU_CONTENT_ID "5A3C9E17B2D4F60811A2B3C4D5E6F708192A3B4C"
    CACHE STRING "40 hexadecimal digits naming the content the probes ask for")

string(LENGTH "${TALU_CONTENT_ID}" _talu_content_id_length)
if(NOT _talu_content_id_length EQUAL 40 OR NOT TALU_CONTENT_ID MATCHES "^[0-9A-F]+$")
  message(FATAL_ERROR "TALU_CONTENT_ID must be exactly 40 upper-case hexadecimal digits")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/../config/build_config.h.in
               ${CMAKE_BINARY_DIR}/generated/config/build_config.h @ONLY)
add_library(talu_config INTERFACE)
target_include_directories(talu_config INTERFACE ${CMAKE_BINARY_DIR}/generated ${CMAKE_SOURCE_DIR})
