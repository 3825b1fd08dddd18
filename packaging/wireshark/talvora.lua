-- Dissector for the station's UDP packets: telemetry packets with their
-- record headers, link-monitor and lift-off packets (all behind the 32-byte
-- packet header) and the 27-byte GNSS position packet. All fields are
-- little-endian.
--
--   tshark -X lua_script:talvora.lua -r capture.pcap -V
--   or copy this file into the personal Lua plugins folder of Wireshark.

local p = Proto("talvora", "Talvora station packet")

local f = {
    version = ProtoField.uint8("talvora.version", "Version", base.DEC),
    task = ProtoField.uint16("talvora.task", "Task flag", base.DEC),
    source = ProtoField.uint32("talvora.source", "Source", base.HEX),
    dest = ProtoField.uint32("talvora.dest", "Destination", base.HEX),
    bid = ProtoField.uint32("talvora.bid", "BID", base.HEX),
    seq = ProtoField.uint32("talvora.seq", "Sequence", base.DEC),
    reserved = ProtoField.bytes("talvora.reserved", "Reserved"),
    day = ProtoField.uint16("talvora.day", "Day number (1 January 2000 = 1)", base.DEC),
    tod = ProtoField.uint32("talvora.tod", "Time of day (0.1 ms)", base.DEC),
    length = ProtoField.uint16("talvora.length", "Length after header", base.DEC),
    kind = ProtoField.string("talvora.kind", "Packet kind"),
    status = ProtoField.uint16("talvora.status", "Status word", base.HEX),
    locked = ProtoField.bool("talvora.status.locked", "Frame sync locked", 16, nil, 0x0010),
    bit8 = ProtoField.bool("talvora.status.bit8", "Bit 8 (always set)", 16, nil, 0x0100),
    stream = ProtoField.uint16("talvora.status.stream", "Stream", base.DEC, nil, 0x0C00),
    count = ProtoField.uint16("talvora.records", "Record count", base.DEC),
    record = ProtoField.bytes("talvora.record", "Record"),
    rday = ProtoField.uint16("talvora.record.day", "Day number", base.DEC),
    rtod = ProtoField.uint32("talvora.record.tod", "Time of day (0.1 ms)", base.DEC),
    rtime = ProtoField.string("talvora.record.time", "Time of day"),
    rindex = ProtoField.uint16("talvora.record.subframe", "Subframe index", base.DEC),
    words = ProtoField.bytes("talvora.record.words", "Words"),
    datatime = ProtoField.uint32("talvora.datatime", "Time (0.1 ms)", base.DEC),
    gnss_sync = ProtoField.bytes("talvora.gnss.sync", "Sync"),
    gnss_x = ProtoField.double("talvora.gnss.x", "X"),
    gnss_y = ProtoField.double("talvora.gnss.y", "Y"),
    gnss_z = ProtoField.double("talvora.gnss.z", "Z"),
}
p.fields = f

p.prefs.version = Pref.uint("Header version byte", 128, "Version byte the heuristic looks for")
p.prefs.ports = Pref.range("UDP ports", "8080,8082,9001-9002", "Ports of the station packets", 65535)
p.prefs.gnss_port = Pref.uint("GNSS port", 8081, "Port of the GNSS position packets")
p.prefs.liftoff_bid = Pref.uint("Lift-off BID", 0x00010101, "BID of lift-off packets")

local HEADER = 32

-- Wireshark's Lua 5.2 has no integer division operator.
local function idiv(a, b) return math.floor(a / b) end

local function time_text(tod)
    local ms = idiv(tod, 10)
    return string.format("%02d:%02d:%02d.%03d%01d", idiv(ms, 3600000), idiv(ms, 60000) % 60,
                         idiv(ms, 1000) % 60, ms % 1000, tod % 10)
end

local function dissect_gnss(buf, pinfo, tree)
    if buf:len() ~= 27 or buf(0, 3):uint() ~= 0xEB9055 then return 0 end
    pinfo.cols.protocol = "TALVORA"
    pinfo.cols.info = "GNSS position"
    local t = tree:add(p, buf(), "Talvora GNSS position")
    t:add(f.kind, "GNSS position")
    t:add(f.gnss_sync, buf(0, 3))
    t:add_le(f.gnss_x, buf(3, 8))
    t:add_le(f.gnss_y, buf(11, 8))
    t:add_le(f.gnss_z, buf(19, 8))
    return 27
end

-- True when the bytes look like a packet header: enough bytes, the length
-- field matching the datagram.
local function is_station(buf)
    return buf:len() >= HEADER + 4 and buf(30, 2):le_uint() == buf:len() - HEADER
end

local function dissect_station(buf, pinfo, tree)
    if not is_station(buf) then return dissect_gnss(buf, pinfo, tree) end
    pinfo.cols.protocol = "TALVORA"
    local t = tree:add(p, buf(), "Talvora station packet")
    local h = t:add(buf(0, HEADER), "Packet header")
    h:add(f.version, buf(0, 1))
    h:add_le(f.task, buf(1, 2))
    h:add_le(f.source, buf(3, 4))
    h:add_le(f.dest, buf(7, 4))
    h:add_le(f.bid, buf(11, 4))
    h:add_le(f.seq, buf(15, 4))
    h:add(f.reserved, buf(19, 5))
    h:add_le(f.day, buf(24, 2))
    local tod = buf(26, 4):le_uint()
    h:add_le(f.tod, buf(26, 4)):append_text(" (" .. time_text(tod) .. ")")
    h:add_le(f.length, buf(30, 2))
    local bid = buf(11, 4):le_uint()
    local len = buf(30, 2):le_uint()
    if len == 4 then
        local kind = bid == p.prefs.liftoff_bid and "Lift-off" or "Link monitor"
        t:add(f.kind, kind)
        local dt = buf(HEADER, 4):le_uint()
        t:add_le(f.datatime, buf(HEADER, 4)):append_text(" (" .. time_text(dt) .. ")")
        pinfo.cols.info = string.format("%s seq=%d", kind, buf(15, 4):le_uint())
        return buf:len()
    end
    t:add(f.kind, "Telemetry")
    local st = t:add_le(f.status, buf(HEADER, 2))
    st:add_le(f.locked, buf(HEADER, 2))
    st:add_le(f.bit8, buf(HEADER, 2))
    st:add_le(f.stream, buf(HEADER, 2))
    local count = buf(HEADER + 2, 2):le_uint()
    t:add_le(f.count, buf(HEADER + 2, 2))
    local data = len - 4
    pinfo.cols.info = string.format("Telemetry seq=%d records=%d", buf(15, 4):le_uint(), count)
    if count == 0 or data % count ~= 0 or idiv(data, count) < 8 then return buf:len() end
    local size = idiv(data, count)
    for i = 0, count - 1 do
        local at = HEADER + 4 + i * size
        local rtod = buf(at + 2, 4):le_uint()
        local r = t:add(f.record, buf(at, size))
        r:set_text(string.format("Record %d: day %d, %s, subframe %d", i + 1,
                                 buf(at, 2):le_uint(), time_text(rtod), buf(at + 6, 2):le_uint()))
        r:add_le(f.rday, buf(at, 2))
        r:add_le(f.rtod, buf(at + 2, 4))
        r:add(f.rtime, time_text(rtod))
        r:add_le(f.rindex, buf(at + 6, 2))
        r:add(f.words, buf(at + 8, size - 8))
    end
    return buf:len()
end

function p.dissector(buf, pinfo, tree)
    return dissect_station(buf, pinfo, tree)
end

local function heuristic(buf, pinfo, tree)
    if buf:len() == 27 and buf(0, 3):uint() == 0xEB9055 then
        return dissect_gnss(buf, pinfo, tree) > 0
    end
    if not is_station(buf) or buf(0, 1):uint() ~= p.prefs.version then return false end
    dissect_station(buf, pinfo, tree)
    return true
end

local registered = {}
local function register_ports()
    local udp = DissectorTable.get("udp.port")
    for _, port in ipairs(registered) do udp:remove(port, p) end
    registered = {}
    local text = tostring(p.prefs.ports)
    for part in string.gmatch(text, "[^,]+") do
        local a, b = string.match(part, "^%s*(%d+)%s*-%s*(%d+)%s*$")
        if not a then a = string.match(part, "^%s*(%d+)%s*$"); b = a end
        if a then
            for port = tonumber(a), tonumber(b) do
                udp:add(port, p)
                table.insert(registered, port)
            end
        end
    end
    udp:add(p.prefs.gnss_port, p)
    table.insert(registered, p.prefs.gnss_port)
end

p.prefs_changed = register_ports
register_ports()
p:register_heuristic("udp", heuristic)
