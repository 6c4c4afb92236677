-- Data export script for DCS, version 1.2.
-- Copy this file to "Saved Games\DCS\Scripts\Export.lua" (see the comments in the stock file).

local otherToolLfs = require('lfs'); dofile(otherToolLfs.writedir() .. 'Scripts/OtherTool/OtherToolExport.lua')
pcall(function() local dcsSr = require('lfs'); dofile(dcsSr.writedir() .. [[Mods\Services\Radio\Scripts\radio-export.lua]]) end)
