# The flags of every module of the driver (the component and the modules
# beside it), in one place.
#
# On Windows: wide-character Win32, the C++ runtime linked in so that the DLL
# needs nothing beside it, and undecorated stdcall exports (the .def file's
# names). Here: only the exports are visible, and nothing pins the module in
# memory, so that a fresh load starts with fresh process-wide state.
function(kqxl_driver_module target)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at
                        -Wl,--enable-stdcall-fixup)
  else()
    target_compile_options(${target} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden
                           $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  endif()
endfunction()

# A driver module's file name: NAME plus SUFFIX (".DLL", ".dll" or ".so"),
# without the "lib" prefix.
function(kqxl_module_name target name suffix)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name} SUFFIX ${suffix})
endfunction()
