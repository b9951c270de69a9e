# Builds an installer exe with the given payloads. Tests use it to make variants that carry a
# recording stand-in instead of our bridge client.
#   kavorin_add_installer(<target> BRIDGE <file> WIDGET <file> [DEPENDS <targets>...])
set(KAVORIN_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KAVORIN_RESOURCE_FILES
  ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc
  ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.manifest
  ${KAVORIN_RESOURCE_DIR}/kavorin.ico
  ${KAVORIN_RESOURCE_DIR}/install24.bmp)

# Writes an .rc with the form description and, when given, the two payloads (RT_RCDATA,
# language 1033).  kavorin_generated_rc(<out> FORM <file> [BRIDGE <file> WIDGET <file>])
function(kavorin_generated_rc out)
  cmake_parse_arguments(arg "" "FORM;BRIDGE;WIDGET" "" ${ARGN})
  file(TO_CMAKE_PATH "${arg_FORM}" form)
  set(text "LANGUAGE 0x09, 0x01\nTMAINFORM RCDATA \"${form}\"\n")
  set(deps "${form}")
  if(arg_BRIDGE)
    file(TO_CMAKE_PATH "${arg_BRIDGE}" bridge)
    file(TO_CMAKE_PATH "${arg_WIDGET}" widget)
    string(APPEND text "IUFILE RCDATA \"${bridge}\"\nWGTFILE RCDATA \"${widget}\"\n")
    list(APPEND deps "${bridge}" "${widget}")
  endif()
  file(WRITE "${out}.in" "${text}")
  configure_file("${out}.in" "${out}" COPYONLY)
  set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${deps}")
endfunction()

# kavorin_add_installer(<target> BRIDGE <file> WIDGET <file> [FORM <file>] [SIGN]
#                       [DEPENDS <targets>...])
# FORM replaces the window's description (tests use a broken one). SIGN signs the built exe
# (cmake/signing.cmake): the product, not the variants that tests make.
function(kavorin_add_installer name)
  cmake_parse_arguments(arg "SIGN" "BRIDGE;WIDGET;FORM" "DEPENDS" ${ARGN})
  if(NOT arg_FORM)
    set(arg_FORM ${CMAKE_SOURCE_DIR}/app/Mainwin.dfm)
  endif()
  set(generated_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}-generated.rc)
  kavorin_generated_rc(${generated_rc} FORM "${arg_FORM}" BRIDGE "${arg_BRIDGE}" WIDGET "${arg_WIDGET}")
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp
    ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc ${generated_rc})
  set_source_files_properties(${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc PROPERTIES
    OBJECT_DEPENDS "${KAVORIN_RESOURCE_FILES}")
  target_include_directories(${name} PRIVATE ${KAVORIN_RESOURCE_DIR})
  target_link_libraries(${name} PRIVATE kavorin_app)
  target_link_options(${name} PRIVATE -municode -mwindows $<$<CONFIG:Release>:-s>)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  if(arg_SIGN)
    kavorin_sign(${name} "KAVORIN Tizen Installer")
  endif()
endfunction()

# A window test program: the test sources, the whole app but its entry point, the window's
# resources, and GoogleTest. Registered with CTest, run under Wine.
# SUITES registers one CTest entry per GoogleTest suite instead of one for the program, so a
# long program gets a time limit per suite and runs beside other tests.
#   kavorin_add_window_test(<target> SOURCES <files>... [BRIDGE <file> WIDGET <file>]
#                           [DEPENDS ...] [SUITES <suite>...])
function(kavorin_add_window_test name)
  cmake_parse_arguments(arg "" "BRIDGE;WIDGET" "SOURCES;DEPENDS;SUITES" ${ARGN})
  set(generated_rc ${CMAKE_CURRENT_BINARY_DIR}/${name}-generated.rc)
  kavorin_generated_rc(${generated_rc} FORM ${CMAKE_SOURCE_DIR}/app/Mainwin.dfm
    BRIDGE "${arg_BRIDGE}" WIDGET "${arg_WIDGET}")
  add_executable(${name} ${arg_SOURCES} ${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc ${generated_rc})
  set_source_files_properties(${KAVORIN_RESOURCE_DIR}/KavorinInstaller.rc PROPERTIES
    OBJECT_DEPENDS "${KAVORIN_RESOURCE_FILES}")
  target_include_directories(${name} PRIVATE ${KAVORIN_RESOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/windows)
  target_link_libraries(${name} PRIVATE kavorin_app GTest::gtest)
  target_link_options(${name} PRIVATE -municode)
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  set(tests ${name})
  if(arg_SUITES)
    set(tests "")
    foreach(suite IN LISTS arg_SUITES)
      add_test(NAME ${name}.${suite} COMMAND ${name} --gtest_filter=${suite}.*)
      list(APPEND tests ${name}.${suite})
    endforeach()
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  # Window tests share one X display and its focus: one at a time. The limit only stops a hang:
  # under emulation on a busy machine one installation takes half a minute.
  set_tests_properties(${tests} PROPERTIES TIMEOUT 900 RESOURCE_LOCK x_display)
endfunction()
