#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/). The seeds are small, hand-
shaped inputs that reach every path of a target: libFuzzer grows its own corpus from them, and
the replay test runs every seed through the target's checks. Run again after changing a seed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DLE, ETX = 0x10, 0x03


def frame(packet):
    out = bytearray([DLE])
    for i, b in enumerate(packet):
        out.append(b)
        if b == DLE and i > 0:
            out.append(DLE)
    out += bytes([DLE, ETX])
    return bytes(out)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def f32(v):
    return struct.pack(">f", v)


def f64(v):
    return struct.pack(">d", v)


# A plausible Settings Image, group by group (2D Altitude, I/O Options, NMEA, GPS configuration,
# Port A, Port B, Datum, timing output settings, Port B automatic output, timing options, PPS
# width, 8E-A5 masks, self survey).
def image(altitude_mode=0, datum_index=0x0015, custom=False):
    g = bytearray()
    g += bytes([altitude_mode]) + f32(35.5)
    g += bytes([0x12, 0x02, 0x01, 0x01])
    g += bytes([0, 1]) + struct.pack(">I", 0x21)
    gps = bytearray([0, 7, 3, 4, 1]) + f32(0.17453292) + f32(4.0) + f32(12.0) + f32(8.0) + bytes([30])
    gps += bytes(range(0x0B, 0x0B + 43 - len(gps)))
    g += gps
    g += bytes([0, 6, 6, 3, 0, 0, 0, 8, 4, 0])
    g += bytes([1, 7, 7, 3, 0, 0, 0, 2, 2, 0])
    index = 0xFFFF if custom else datum_index
    g += bytes([0x15]) + struct.pack(">H", index) + f64(-87.0) + f64(-98.0) + f64(-121.0) + f64(6378388.0) + f64(0.00672267)
    g += bytes([0x4A, 1, 0, 0]) + f64(0.0) + bytes([0, 0, 0, 0])
    g += bytes([0x4D, 0x00, 0x00, 0x00, 0x02])
    g += bytes([0x4E, 0x03])
    g += bytes([0x4F]) + f64(0.0001)
    g += bytes([0xA5, 0x00, 0x45, 0x00, 0x00])
    g += bytes([0xA9, 1, 0, 0, 0, 0x07, 0xD0, 0, 0, 0, 0])
    assert len(g) == 169, len(g)
    return bytes(g)


# Every report the Report Handler takes (id, payload), and the Link Check answer.
def reports(img):
    def grp(offset, length):
        return img[offset:offset + length]
    return [
        (0x45, bytes([3, 2, 15, 6, 24, 2, 1, 11, 18, 24])),
        (0x4A, grp(1, 4) + f32(1.0) + bytes([1])),
        (0x55, grp(5, 4)),
        (0x7B, grp(9, 6)),
        (0xBB, grp(15, 43)),
        (0xBC, grp(58, 10)),
        (0xBC, grp(68, 10)),
        (0x8F, grp(78, 43)),
        (0x8F, grp(121, 16)),
        (0x8F, grp(137, 5)),
        (0x8F, grp(142, 2)),
        (0x8F, grp(144, 9)),
        (0x8F, grp(153, 5)),
        (0x8F, grp(158, 11)),
    ]


def stream(img):
    return b"".join(frame(bytes([i]) + p) for i, p in reports(img))


# The report stream target's image is byte i = seed + 37 i; reports carrying it match.
def fuzz_image(seed):
    return bytes((seed + i * 37) & 0xFF for i in range(169))


img = image()
for mode in range(3):
    for check in (0, 0x80):
        write("report_stream", f"all_reports_mode{mode}{'_check' if check else ''}",
              bytes([mode | check, 7 + mode, 0]) + stream(img))
    write("report_stream", f"matching_mode{mode}", bytes([mode, 3, 11]) + stream(fuzz_image(11)))
write("report_stream", "junk_between_frames",
      bytes([1, 9, 0]) + b"\x00\xff\x10" + frame(bytes([0x55]) + img[5:9]) + b"abc\x10\x10" + frame(b"\x45\x01"))
write("report_stream", "oversize_packet", bytes([2, 4, 0]) + frame(b"\x8f\x15" + bytes(600)) + frame(b"\x55\x01\x02\x03\x04"))
write("report_stream", "short_and_long_4a", bytes([1, 5, 0]) + frame(b"\x4a\x01\x02") + frame(b"\x4a" + bytes(20)))
write("report_stream", "cut_frame_then_new", bytes([2, 6, 0]) + frame(b"\x8f\x4a\x01")[:-2] + frame(b"\xbc\x01" + bytes(9)))
write("report_stream", "dle_payloads", bytes([1, 2, 0]) + frame(b"\x8f\x4e\x10") + frame(b"\xbc\x00\x10\x10\x10" + bytes(6)))
write("report_stream", "port_c_and_unknown", bytes([1, 1, 0]) + frame(b"\xbc\x02" + bytes(9)) + frame(b"\x8f\x99\x00") + frame(b"\x13"))

write("settings_file", "image", img)
write("settings_file", "custom_datum", image(custom=True))
write("settings_file", "altitude_cancel", image(altitude_mode=1))
write("settings_file", "altitude_other", image(altitude_mode=7))
write("settings_file", "empty", b"")
write("settings_file", "short", img[:60])
write("settings_file", "long", img + bytes(range(256)) + img)
write("settings_file", "all_ff", b"\xff" * 169)
write("settings_file", "all_zero", bytes(169))
nan = bytearray(img)
nan[1:5] = b"\x7f\xc0\x00\x00"        # altitude NaN
nan[20:24] = b"\x7f\x80\x00\x00"      # elevation mask infinity
nan[81:89] = b"\xff\xf0\x00\x00\x00\x00\x00\x00"  # DX minus infinity
write("settings_file", "not_numbers", bytes(nan))
huge = bytearray(image(custom=True))
huge[81:89] = f64(1.7e308)
huge[1:5] = f32(3.4e38)
write("settings_file", "huge_numbers", bytes(huge))

texts = {
    "site": 'base = "rack.toml"\n[2d_altitude]\naltitude_m = 312.5\n[timing_output_settings]\npps_offset_s = 1.2e-07\n',
    "every_kind": ('[2d_altitude]\n2d_altitude = "Set Altitude"  # radio\naltitude_m = -12.25\n'
                   '[gps_configuration]\nbyte_0 = "0B"\nreceiver_mode = "Over-determined clock"\ndgps_mode = 2\n'
                   'dynamics_code = "Stationary"\nelevation_mask_degrees = 10.0\nsignal_level_mask_amu = "hex:7FC00001"\n'
                   'dgps_age_limit_seconds = 300\nbytes_22_42 = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14"\n'
                   '[nmea_output]\ngga = true\nother_bits_of_bytes_2_5 = "0x0000C000"\n'
                   '[datum]\ndatum = "Custom"\ndx = -0.0\na_axis = 6378137.0\neccentricity = 0.00669437999014\n'
                   '[self_survey_configuration]\nenable_self_survey = 7\nself_survey_limit = -1\n'),
    "twin_datum": '[datum]\ndatum = "European"\n',
    "bad_values": '[gps_configuration]\ndynamics_code = "Hover"\nelevation_mask_degrees = nan\ndgps_age_limit_seconds = ""\n',
    "unknown_key": '[gps_configuration]\nwarp_factor = 9\n',
    "wrong_shapes": '[datum]\ndx = [1.0, 2.0]\n[datum.inner]\nx = 1\n',
    "deep_arrays": '[nmea_output]\ngga = ' + '[' * 40 + ']' * 40 + '\n',
    "not_toml": '[[[\n= = =\n"unterminated\n',
}
for name, text in texts.items():
    write("settings_text", name, text.encode())

replies = {
    "factory": b"PRPT;B,1,0,9600,8,1,N,0,KIRP;KIRP;\r\n",
    "odd_4800": b"PRPT;B,1,1,4800,7,2,O,0,KIRP;NMEA;\r\n",
    "even_38400": b"PRPT;B,1,0,38400,8,1,E,0,KIRP;KIRP;\r\n",
    "bad_rate": b"PRPT;B,1,0,600x,8,1,N,0,KIRP;KIRP;\r\n",
    "no_protocols": b"PRPT;B,1,0,9600,8,1,N,0,KIRP",
    "unterminated": b"PRPT;B,1,0,9600,8,1,N",
    "bad_fields": b"PRPT;B,2,0,9600,9,3,X,0,;;",
    "just_pr": b"PR",
}
for name, text in replies.items():
    write("break_reply", name, bytes([3, 0]) + text)
write("break_reply", "after_junk", bytes([5, 2]) + b"\x10\x8f\xff" * 40 + replies["factory"])
write("break_reply", "split_pr", bytes([1, 3]) + b"xxxxP" + b"RPT;B,1,0,19200,8,2,E,0,KIRP;KIRP;")
write("break_reply", "at_buffer_end", bytes([9, 1]) + b"\x00" * 3990 + replies["factory"])
write("break_reply", "two_replies", bytes([2, 1]) + replies["odd_4800"] + replies["factory"])

IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254


def sb(*values):
    body = bytearray()
    for v in values:
        body.append(v)
        if v == IAC:
            body.append(IAC)
    return bytes([IAC, SB, 44]) + bytes(body) + bytes([IAC, SE])


write("telnet_receive", "negotiation", bytes([1, IAC, DO, 44, IAC, WILL, 3, IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 1, IAC, DONT, 5]))
write("telnet_receive", "acknowledgements", bytes([2]) + sb(101, 0, 0, 0x25, 0x80) + sb(102, 8) + sb(103, 1) + sb(104, 1) + sb(105, 5))
write("telnet_receive", "data_with_iac", bytes([3]) + bytes([0x10, 0x45, IAC, IAC, 0x10, 0x03, 0x41]) + sb(107, 0x30) + bytes([IAC, IAC]))
write("telnet_receive", "value_with_iac", bytes([4]) + sb(101, 0, 0, 0xFF, 0xFF) + sb(106, IAC))
write("telnet_receive", "overlong_sub", bytes([5]) + sb(*([112] + [7] * 90)) + b"data")
write("telnet_receive", "broken_sub", bytes([6, IAC, SB, 44, 101, 0, 0, IAC, DO, 44, 0x41, IAC, 241, IAC, SE, 0x42]))
write("telnet_receive", "trailing_iac", bytes([7, 0x41, IAC]))
write("telnet_receive", "other_option_sub", bytes([8]) + bytes([IAC, SB, 24, 1, IAC, SE]) + sb() + b"\x00\xff")


# network_receive: byte 0 the piece sizes' seed, then operations (see the target).
def data_op(payload):
    return bytes([0, len(payload)]) + bytes(payload)


def nego(verb, option):
    return bytes([4, verb, option])


def sub_op(*values):
    return bytes([5, len(values)]) + bytes(values)


READ_NOW = bytes([7])
write("network_receive", "plain_data", bytes([1]) + data_op(b"\x10\x45\x10\x03") + READ_NOW + data_op(range(256)[:200]))
write("network_receive", "iac_data", bytes([2]) + data_op([IAC, IAC, 0x10, IAC, 0x41]) + READ_NOW + data_op([IAC] * 40))
write("network_receive", "negotiations", bytes([3]) + nego(0, 1) + data_op(b"ab") + nego(1, 3) + nego(2, 24) + nego(3, 44) +
      data_op(b"cd") + bytes([6, 0]) + data_op(b"e"))
write("network_receive", "acknowledgements", bytes([4]) + sub_op(101, 0, 0, 0x25, 0x80) + data_op(b"x") + sub_op(102, 8) +
      sub_op(103, IAC, 1) + READ_NOW + sub_op(107, 0x30) + data_op(b"y"))
write("network_receive", "long_stream", bytes([5]) + (data_op(bytes(range(64, 192))) + sub_op(106, 0x11) + READ_NOW) * 40)
write("network_receive", "empty_subs", bytes([6]) + sub_op() + data_op(b"z") + sub_op(112) + bytes([6, 8]))


def request(group_id, sub=None):
    return frame(bytes([group_id]) + (bytes([sub]) if sub is not None else b""))


requests = (request(0x1F) + request(0x2A) + request(0x35) + request(0x7A, 0) + request(0xBB, 0) +
            request(0xBC, 0) + request(0xBC, 1) + b"".join(request(0x8E, s) for s in (0x15, 0x4A, 0x4D, 0x4E, 0x4F, 0xA5, 0xA9)))
sets = (frame(b"\x2a" + f32(120.0)) + frame(b"\x2a\xff") + frame(b"\x35" + img[5:9]) + frame(b"\x7a\x00" + img[10:15]) +
        frame(b"\xbb\x00" + img[16:37] + b"\xff" * 21) +
        frame(b"\xbc\x00\x06\x06\x03\x00\x00\x00\x08\x04\x00") + frame(b"\xbc\x01\x08\x08\x03\x02\x01\x00\x02\x02\x00") +
        frame(b"\x8e\x15\x00\x15") + frame(b"\x8e\x15" + img[81:121]) + frame(b"\x8e\x4a" + img[122:137]) +
        frame(b"\x8e\x4d" + img[138:142]) + frame(b"\x8e\x4e\x03") + frame(b"\x8e\x4f" + img[145:153]) +
        frame(b"\x8e\xa5\x00\x45\x00\x00") + frame(b"\x8e\xa9\x01\x00\x00\x00\x07\xd0\x00\x00\x00\x00"))
control = frame(b"\x8e\x26") + frame(b"\x1e\x4b") + frame(b"\x32" + bytes(12)) + frame(b"\x8e\xa6\x00") + frame(b"\x8e\x45\x06")
write("emulator_commands", "requests", bytes([0, 0, 0, 6]) + requests)
write("emulator_commands", "sets_save_reset", bytes([0, 0, 0, 6]) + sets + control + requests)
write("emulator_commands", "faults", bytes([1, 4, 7, 2]) + sets + control + requests)
write("emulator_commands", "port_b_rates", bytes([0, 0, 0, 8]) + b"".join(
    frame(bytes([0xBC, 1, r, r, d, p, s, 0, 2, 2, 0])) for r in range(0, 11) for d in (2, 3) for p in (0, 3) for s in (0, 2)))
write("emulator_commands", "wrong_lengths", bytes([0, 0, 0, 0]) + frame(b"\x2a") + frame(b"\x8e") + frame(b"\x8e\x15\x00") +
      frame(b"\xbb\x00\x01") + frame(b"\x35" + bytes(10)) + frame(b"\x1e\x00") + frame(b"\xbc\x05" + bytes(9)))
