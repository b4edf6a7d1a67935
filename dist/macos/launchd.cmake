# The helper's launchd property list, from the client's identifier: made on
# every platform, so that it is checked wherever the tests run.
set(LWK_SERVICE_NAME "${LANTERN_WHARF_CLIENT_ID}.helper")
set(LWK_PLIST_NAME "${LWK_SERVICE_NAME}.plist")
set(LWK_PLIST "${CMAKE_BINARY_DIR}/macos/${LWK_PLIST_NAME}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/helper.plist.in ${LWK_PLIST} @ONLY)
