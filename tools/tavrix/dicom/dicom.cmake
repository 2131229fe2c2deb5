# DICOM output of tavrix. Debian's DCMTK package config defines an imported
# target per library; dcmdata (which brings ofstd and oflog) is all it needs.
if(NOT WIN32)
  find_package(DCMTK REQUIRED CONFIG)
endif()
target_link_libraries(tavrix_tool_units PUBLIC DCMTK::dcmdata)
