# The application manifest of a Windows program, embedded as its RT_MANIFEST resource 1.
# It runs the program as the invoking user (no elevation prompt, and no redirection of its
# files and registry writes to the per-user VirtualStore), names the Windows versions it is
# made for (Vista to 10 and 11, so no compatibility shims apply), declares it DPI aware,
# and with COMMON_CONTROLS binds it to version 6 of the common controls.
include_guard(GLOBAL)
enable_language(RC)

function(tarnholm_manifest target name description)
  cmake_parse_arguments(PARSE_ARGV 3 ARG "COMMON_CONTROLS" "" "")
  set(MANIFEST_NAME "${name}")
  set(MANIFEST_DESCRIPTION "${description}")
  set(MANIFEST_DEPENDENCY "")
  if(ARG_COMMON_CONTROLS)
    string(CONCAT MANIFEST_DEPENDENCY
      "  <dependency>\n"
      "    <dependentAssembly>\n"
      "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
      "                        processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
      "    </dependentAssembly>\n"
      "  </dependency>\n")
  endif()
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/program.manifest.in ${manifest} @ONLY)
  # 1 is CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 is RT_MANIFEST.
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
  file(CONFIGURE OUTPUT ${script} CONTENT "1 24 \"${manifest}\"\n")
  target_sources(${target} PRIVATE ${script})
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS ${manifest})
endfunction()
