# The Windows program: GUI subsystem, static runtime, manifest and version resource.
enable_language(RC)
# The resource scripts find the manifest beside them.
string(APPEND CMAKE_RC_FLAGS " -I${PROJECT_SOURCE_DIR}/app/windows")
configure_file(${PROJECT_SOURCE_DIR}/app/windows/resources.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/resources.rc @ONLY)
target_sources(veldra-install PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/resources.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/resources.rc
  ${PROJECT_SOURCE_DIR}/app/windows/manifest.rc
  PROPERTIES OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/app/windows/veldra-install.manifest)
target_link_options(veldra-install PRIVATE -mwindows -static -s -Wl,--gc-sections)
target_compile_options(veldra_core PRIVATE -ffunction-sections -fno-asynchronous-unwind-tables)
target_compile_options(veldra_platform PRIVATE -ffunction-sections -fno-asynchronous-unwind-tables)
