# Run at build time (see paperlark_information_list): writes OUTPUT from
# TEMPLATE with PAPERLARK_BUILD_DATE set to now, or to SOURCE_DATE_EPOCH.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "${CONFIGURED_SOURCE_DATE_EPOCH}" STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} "${CONFIGURED_SOURCE_DATE_EPOCH}")
endif()
string(TIMESTAMP PAPERLARK_BUILD_DATE "%Y-%m-%dT%H:%M:%SZ" UTC)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
