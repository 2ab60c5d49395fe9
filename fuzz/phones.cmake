# Fuzz targets of the phone side: the protocol's frames (device library and
# simulated phone) and the phone's profile loader.
add_executable(fuzz_frame FrameFuzz.cpp)
target_link_libraries(fuzz_frame PRIVATE ORX_FP_FlashDevApi phonesim)
target_link_options(fuzz_frame PRIVATE -fsanitize=fuzzer)

add_executable(fuzz_profile ProfileFuzz.cpp)
target_link_libraries(fuzz_profile PRIVATE phonesim)
target_link_options(fuzz_profile PRIVATE -fsanitize=fuzzer)
