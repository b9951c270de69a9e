# Builds an installer exe with the given payloads. Tests use it to make variants that carry a
# recording stand-in instead of our bridge client.
#   kavorin_add_installer(<target> BRIDGE <file> WIDGET <file> [DEPENDS <targets>...])
set(KAVORIN_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KAVORIN_RESOURCE_FILES
  ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc
  ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.manifest
  ${KAVORIN_RESOURCE_DIR}/kavorin.ico
  ${KAVORIN_RESOURCE_DIR}/install24.bmp
  ${CMAKE_SOURCE_DIR}/app/Mainwin.dfm)

# Writes an .rc that embeds the two payloads (RT_RCDATA, language 1033) into <out>.
function(kavorin_payload_rc out bridge widget)
  file(TO_CMAKE_PATH "${bridge}" bridge)
  file(TO_CMAKE_PATH "${widget}" widget)
  file(WRITE "${out}.in"
    "LANGUAGE 0x09, 0x01\nIUFILE RCDATA \"${bridge}\"\nWGTFILE RCDATA \"${widget}\"\n")
  configure_file("${out}.in" "${out}" COPYONLY)
  set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${bridge};${widget}")
endfunction()

function(kavorin_add_installer name)
  cmake_parse_arguments(arg "" "BRIDGE;WIDGET" "DEPENDS" ${ARGN})
  set(payload_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}-payloads.rc)
  kavorin_payload_rc(${payload_rc} "${arg_BRIDGE}" "${arg_WIDGET}")
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp
    ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc ${payload_rc})
  set_source_files_properties(${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc PROPERTIES
    OBJECT_DEPENDS "${KAVORIN_RESOURCE_FILES}")
  target_include_directories(${name} PRIVATE ${KAVORIN_RESOURCE_DIR})
  target_link_libraries(${name} PRIVATE kavorin_app)
  target_link_options(${name} PRIVATE -municode -mwindows)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
endfunction()

# A window test program: the test sources, the whole app but its entry point, the window's
# resources, and GoogleTest. Registered with CTest, run under Wine.
#   kavorin_add_window_test(<target> SOURCES <files>... [BRIDGE <file> WIDGET <file>] [DEPENDS ...])
function(kavorin_add_window_test name)
  cmake_parse_arguments(arg "" "BRIDGE;WIDGET" "SOURCES;DEPENDS" ${ARGN})
  set(rcs ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc)
  if(arg_BRIDGE)
    set(payload_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}-payloads.rc)
    kavorin_payload_rc(${payload_rc} "${arg_BRIDGE}" "${arg_WIDGET}")
    list(APPEND rcs ${payload_rc})
  endif()
  add_executable(${name} ${arg_SOURCES} ${rcs})
  set_source_files_properties(${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc PROPERTIES
    OBJECT_DEPENDS "${KAVORIN_RESOURCE_FILES}")
  target_include_directories(${name} PRIVATE ${KAVORIN_RESOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/windows)
  target_link_libraries(${name} PRIVATE kavorin_app GTest::gtest)
  target_link_options(${name} PRIVATE -municode)
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
