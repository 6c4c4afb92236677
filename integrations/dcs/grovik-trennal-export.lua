-- Grovik Trennal export script for DCS (Lua 5.1).
--
-- Sends the aircraft's state once per frame as one UDP datagram to Grovik Trennal on this
-- machine (127.0.0.1:29778), ten fields separated by ";":
--   aircraft; indicated airspeed km/h; vertical speed m/s; angle of attack deg; G;
--   gear 0..1; speed brakes 0..1; flaps 0..1; thrust % (mean engine RPM); on ground 0/1
-- The angle of attack is LoGetAngleOfAttack() as DCS gives it: in degrees, whatever the
-- "(rad)" beside it in the stock Export.lua says, so it is sent without conversion.
--
-- Installed with "grovik-trennal --install-dcs-export DIR", which adds to
-- DIR/Scripts/Export.lua the line
--   local grovikTrennalLfs = require('lfs'); dofile(grovikTrennalLfs.writedir() .. 'Scripts/grovik-trennal-export.lua')
-- Keep that line after the lines of other export tools: this script calls the LuaExport
-- functions defined before it, so those tools keep working. When a value is missing (no
-- aircraft yet, a module that does not report it) the frame is skipped; nothing here stops
-- the other tools' exports.

local GrovikTrennal = {
    host = "127.0.0.1",
    port = 29778,
    socket = nil,
    udp = nil,
}

local previousStart = LuaExportStart
local previousAfterNextFrame = LuaExportAfterNextFrame
local previousStop = LuaExportStop

-- A finite number, else nil.
local function finite(value)
    if type(value) ~= "number" or value ~= value or value == math.huge or value == -math.huge then
        return nil
    end
    return value
end

-- The number as text with a decimal point whatever the locale.
local function text(value)
    return (string.gsub(string.format("%.4f", value), ",", "."))
end

-- The ten fields of this frame, or nil when one of the values is missing.
local function datagram()
    local selfData = LoGetSelfData()
    local name = selfData and selfData.Name
    if type(name) ~= "string" then
        return nil
    end
    local airspeed = finite(LoGetIndicatedAirSpeed())
    local verticalSpeed = finite(LoGetVerticalVelocity())
    local aoa = finite(LoGetAngleOfAttack())
    local acceleration = LoGetAccelerationUnits()
    local g = acceleration and finite(acceleration.y)
    local mech = LoGetMechInfo()
    local gear = mech and mech.gear and finite(mech.gear.value)
    local speedBrakes = mech and mech.speedbrakes and finite(mech.speedbrakes.value)
    local flaps = mech and mech.flaps and finite(mech.flaps.value)
    local engine = LoGetEngineInfo()
    local rpm = engine and engine.RPM
    local left = rpm and finite(rpm.left)
    local right = rpm and finite(rpm.right)
    -- Gear strut compression: nose (1), right (4) and left (6) main gear.
    local nose = finite(LoGetAircraftDrawArgumentValue(1))
    local rightStrut = finite(LoGetAircraftDrawArgumentValue(4))
    local leftStrut = finite(LoGetAircraftDrawArgumentValue(6))
    if not (airspeed and verticalSpeed and aoa and g and gear and speedBrakes and flaps and left and right
            and nose and rightStrut and leftStrut) then
        return nil
    end
    local onGround = 0
    if nose > 0 or rightStrut > 0 or leftStrut > 0 then
        onGround = 1
    end
    local fields = {
        (string.gsub(name, "[;\r\n]", " ")),
        text(airspeed * 3.6),
        text(verticalSpeed),
        text(aoa),
        text(g),
        text(gear),
        text(speedBrakes),
        text(flaps),
        text((left + right) / 2),
        tostring(onGround),
    }
    return table.concat(fields, ";")
end

local function start()
    package.path = package.path .. ";.\\LuaSocket\\?.lua"
    package.cpath = package.cpath .. ";.\\LuaSocket\\?.dll"
    GrovikTrennal.socket = require("socket")
    GrovikTrennal.udp = GrovikTrennal.socket.udp()
    GrovikTrennal.udp:settimeout(0)
    GrovikTrennal.udp:setpeername(GrovikTrennal.host, GrovikTrennal.port)
end

local function send()
    if not GrovikTrennal.udp then
        return
    end
    local message = datagram()
    if message then
        GrovikTrennal.udp:send(message)
    end
end

local function stop()
    if GrovikTrennal.udp then
        GrovikTrennal.udp:close()
        GrovikTrennal.udp = nil
    end
end

function LuaExportStart()
    if previousStart then
        previousStart()
    end
    pcall(start)
end

function LuaExportAfterNextFrame()
    if previousAfterNextFrame then
        previousAfterNextFrame()
    end
    pcall(send)
end

function LuaExportStop()
    if previousStop then
        previousStop()
    end
    pcall(stop)
end
