# Fuzz targets of the phone side: the protocol's frames (device library's
# driver and simulated phone) and the phone's profile loader.
orx_add_fuzzer(frame SOURCE FrameFuzz.cpp LIBS devapi_client phonesim)
orx_add_fuzzer(profile SOURCE ProfileFuzz.cpp LIBS phonesim)
