# Tests of the phone side: device library, simulated phone, host device services.
