# DICOM output of tavrix. Debian's DCMTK package config defines an imported
# target per library; dcmdata (which brings ofstd and oflog) is all it needs.
find_package(DCMTK REQUIRED CONFIG)
target_link_libraries(tavrix_tool_units PUBLIC DCMTK::dcmdata)
