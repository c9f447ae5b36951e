#pragma once

// The parameter record, field by field, in offset order. Every consumer of the layout (typed
// accessors, the field table, JSON, show and diff) is generated from this one list.
//
// X(name, offset, kind, size, count, stride, tag)
//   kind   U8, U16, U32, I32 (little-endian numbers), Text (zero-padded GBK of `size` bytes),
//          Bytes (raw)
//   count  1 for a single field; more for an array whose elements lie `stride` bytes apart
//   tag    the item that carries the field on the link, 0 for none; for an array, an
//          expression of the element index i (some arrays give each element an item of its own)
//
// The polling records (modbusItems, 64 x 88 bytes at 5668) are listed separately below.

#define DTU_PARAM_FIELDS(X)                          \
    X(dtuBaudIndex, 0, U8, 1, 1, 0, 1)               \
    X(dtuParityIndex, 1, U8, 1, 1, 0, 1)             \
    X(dtuStopBitsIndex, 2, U8, 1, 1, 0, 1)           \
    X(dtuDataBits, 3, U8, 1, 1, 0, 1)                \
    X(workMode, 4, U8, 1, 1, 0, 2)                   \
    X(packTimeMs, 5, U8, 1, 1, 0, 1)                 \
    X(serverAEnable, 6, U8, 1, 1, 0, 3)              \
    X(serverAHost, 7, Text, 64, 1, 0, 4)             \
    X(serverAPort, 72, U16, 2, 1, 0, 5)              \
    X(serverAProtocol, 74, U8, 1, 1, 0, 6)           \
    X(serverAConnMode, 75, U8, 1, 1, 0, 6)           \
    X(serverATimeout, 76, U16, 2, 1, 0, 6)           \
    X(serverBEnable, 78, U8, 1, 1, 0, 7)             \
    X(serverBHost, 79, Text, 64, 1, 0, 8)            \
    X(serverBPort, 144, U16, 2, 1, 0, 9)             \
    X(serverBProtocol, 146, U8, 1, 1, 0, 10)         \
    X(serverBConnMode, 147, U8, 1, 1, 0, 10)         \
    X(serverBTimeout, 148, U16, 2, 1, 0, 10)         \
    X(httpEnable, 150, U8, 1, 1, 0, 28)              \
    X(httpHost, 151, Text, 127, 1, 0, 29)            \
    X(httpHexToAscii, 278, U8, 1, 1, 0, 31)          \
    X(httpPort, 280, U16, 2, 1, 0, 30)               \
    X(httpMethod, 282, U8, 1, 1, 0, 31)              \
    X(httpHeader, 283, Text, 200, 1, 0, 32)          \
    X(heartbeatEnable, 484, U8, 1, 1, 0, 11)         \
    X(heartbeatLength, 485, U8, 1, 1, 0, 13)         \
    X(heartbeatData, 486, Bytes, 128, 1, 0, 13)      \
    X(heartbeatInterval, 616, U32, 4, 1, 0, 12)      \
    X(registerEnable, 620, U8, 1, 1, 0, 14)          \
    X(registerMode, 621, U8, 1, 1, 0, 15)            \
    X(registerLength, 622, U8, 1, 1, 0, 16)          \
    X(registerData, 623, Bytes, 128, 1, 0, 16)       \
    X(serialSendEnable, 752, U8, 1, 1, 0, 17)        \
    X(serialSendInterval, 756, U32, 4, 1, 0, 17)     \
    X(serialSendLength, 760, U8, 1, 1, 0, 17)        \
    X(serialSendData, 761, Bytes, 32, 1, 0, 17)      \
    X(serialFilterEnable, 928, U8, 1, 1, 0, 21)      \
    X(serialFilterLength, 929, U8, 1, 1, 0, 21)      \
    X(serialFilterData, 930, Bytes, 16, 1, 0, 21)    \
    X(mqttHost, 948, Text, 64, 1, 0, 49)             \
    X(mqttPort, 1012, U32, 4, 1, 0, 50)              \
    X(mqttEnable, 1016, U8, 1, 1, 0, 48)             \
    X(mqttUserName, 1017, Text, 128, 1, 0, 51)       \
    X(mqttPassword, 1145, Text, 128, 1, 0, 52)       \
    X(mqttClientId, 1273, Text, 128, 1, 0, 53)       \
    X(mqttKeepAlive, 1402, U16, 2, 1, 0, 54)         \
    X(mqttQos, 1404, U8, 1, 1, 0, 55)                \
    X(mqttWillEnable, 1405, U8, 1, 1, 0, 56)         \
    X(mqttWillMessage, 1406, Text, 65, 1, 0, 57)     \
    X(mqttWillTopic, 1471, Text, 65, 1, 0, 65)       \
    X(mqttRetain, 1536, U8, 1, 1, 0, 64)             \
    X(mqttSubscribeTopic, 1537, Text, 65, 1, 0, 58)  \
    X(mqttPublishTopic1, 1602, Text, 65, 1, 0, 59)   \
    X(mqttPublishTopic2, 1667, Text, 65, 1, 0, 67)   \
    X(mqttPublishTopic3, 1732, Text, 65, 1, 0, 68)   \
    X(mqttPublishTopic4, 1797, Text, 65, 1, 0, 69)   \
    X(mqttSsl, 1862, U8, 1, 1, 0, 66)                \
    X(mqttCloudType, 1905, U8, 1, 1, 0, 60)          \
    X(mqttProductKey, 1906, Text, 65, 1, 0, 61)      \
    X(mqttDeviceName, 1971, Text, 65, 1, 0, 62)      \
    X(mqttDeviceSecret, 2036, Text, 65, 1, 0, 63)    \
    X(smsMode, 4284, U8, 1, 1, 0, 22)                \
    X(smsPhoneNumbers, 4285, Text, 160, 1, 0, 23)    \
    X(noDataRebootMinutes, 4448, U32, 4, 1, 0, 25)   \
    X(rtuAddress, 4452, U16, 2, 1, 0, 85)            \
    X(rtuInputDebounceMs, 4454, U8, 1, 1, 0, 86)     \
    X(xyRules, 4456, Bytes, 2, 10, 8, i < 8 ? 89 : 90) \
    X(adc1RuleValue1, 4536, U16, 2, 1, 0, 91)        \
    X(adc1RuleValue2, 4538, U16, 2, 1, 0, 91)        \
    X(adc2RuleValue1, 4540, U16, 2, 1, 0, 91)        \
    X(adc2RuleValue2, 4542, U16, 2, 1, 0, 91)        \
    X(adc1RuleCondition, 4544, U8, 1, 1, 0, 91)      \
    X(adc1RuleMode, 4545, U8, 1, 1, 0, 91)           \
    X(adc2RuleCondition, 4546, U8, 1, 1, 0, 91)      \
    X(adc2RuleMode, 4547, U8, 1, 1, 0, 91)           \
    X(counterMode, 4548, U8, 1, 1, 0, 88)            \
    X(rtuLinkageEnable, 4549, U8, 1, 1, 0, 87)       \
    X(rtuReportEnable, 4550, U8, 1, 1, 0, 92)        \
    X(uploadInputsEnable, 4551, U8, 1, 1, 0, 93)     \
    X(uploadInputModes, 4552, Bytes, 8, 1, 0, 93)    \
    X(uploadAdc1Enable, 4560, U8, 1, 1, 0, 95)       \
    X(uploadAdc2Enable, 4561, U8, 1, 1, 0, 96)       \
    X(uploadAdc1Value1, 4562, U16, 2, 1, 0, 95)      \
    X(uploadAdc1Value2, 4564, U16, 2, 1, 0, 95)      \
    X(uploadAdc2Value1, 4566, U16, 2, 1, 0, 96)      \
    X(uploadAdc2Value2, 4568, U16, 2, 1, 0, 96)      \
    X(uploadAdc1Type, 4570, U8, 1, 1, 0, 95)         \
    X(uploadAdc2Type, 4571, U8, 1, 1, 0, 96)         \
    X(uploadAdc1Condition, 4572, U8, 1, 1, 0, 95)    \
    X(uploadAdc2Condition, 4573, U8, 1, 1, 0, 96)    \
    X(uploadTimedEnable, 4574, U8, 1, 1, 0, 94)      \
    X(uploadTimedInterval, 4576, U16, 2, 1, 0, 94)   \
    X(uploadFormat, 4578, U8, 1, 1, 0, 97)           \
    X(uploadFormatBits, 4579, U8, 1, 1, 0, 97)       \
    X(uploadTexts, 4580, Text, 33, 16, 33, 99 + i)   \
    X(uploadTexts2, 5108, Text, 33, 4, 33, 125 + i)  \
    X(mqttStatusExtra, 5636, Bytes, 3, 1, 0, 180)    \
    X(rtuPowerOnRelays, 5639, U8, 1, 1, 0, 86)       \
    X(rtuPowerOffSave, 5640, U8, 1, 1, 0, 98)        \
    X(edgeMode, 5644, U8, 1, 1, 0, 117)              \
    X(modbusTimeout, 5648, U16, 2, 1, 0, 118)        \
    X(modbusPollInterval, 5650, U16, 2, 1, 0, 118)   \
    X(modbusCommandDelayMs, 5652, U16, 2, 1, 0, 118) \
    X(modbusUploadInterval, 5654, U16, 2, 1, 0, 118) \
    X(modbusUploadFormat, 5656, U8, 1, 1, 0, 118)    \
    X(modbusMapStart, 5660, U32, 4, 1, 0, 118)       \
    X(modbusItemCount, 5664, U8, 1, 1, 0, 119)       \
    X(modbusChangeUpload, 11308, U8, 1, 1, 0, 120)   \
    X(modbusRelayFollow, 11309, U8, 1, 1, 0, 121)    \
    X(modbusTimeoutAction, 11310, U8, 1, 1, 0, 122)  \
    X(modbusTimestamp, 11311, U8, 1, 1, 0, 123)      \
    X(modbusJsonArray, 11312, U8, 1, 1, 0, 124)      \
    X(modbusPrefix, 11313, Text, 128, 1, 0, 129)     \
    X(uploadTarget, 11441, U8, 1, 1, 0, 144)         \
    X(userCodeEnable, 11444, U8, 1, 1, 0, 24)        \
    X(relayEnable, 11448, U8, 1, 1, 0, 26)           \
    X(relayOnNetLoss, 11449, U8, 1, 1, 0, 27)        \
    X(relayNetLossMinutes, 11452, U32, 4, 1, 0, 27)  \
    X(relayNetLossAction, 11456, U8, 1, 1, 0, 27)    \
    X(dataCacheEnable, 11460, U8, 1, 1, 0, 38)       \
    X(dataCacheCount, 11464, U32, 4, 1, 0, 39)       \
    X(dataCacheIntervalMs, 11468, U8, 1, 1, 0, 39)   \
    X(dataCacheTimePrefix, 11469, U8, 1, 1, 0, 39)   \
    X(dataCacheLengthPrefix, 11470, U8, 1, 1, 0, 39) \
    X(apnEnable, 11471, U8, 1, 1, 0, 33)             \
    X(apnAuthType, 11472, U8, 1, 1, 0, 34)           \
    X(apnName, 11473, Text, 65, 1, 0, 35)            \
    X(apnUserName, 11538, Text, 65, 1, 0, 36)        \
    X(apnPassword, 11603, Text, 65, 1, 0, 37)        \
    X(modbusTcpToRtu, 11668, U8, 1, 1, 0, 40)        \
    X(remoteConfigEnable, 11672, U8, 1, 1, 0, 18)    \
    X(remoteConfigUuid, 11676, U32, 4, 1, 0, 184)    \
    X(remoteConfigPassword, 11680, Text, 9, 1, 0, 20) \
    X(remoteConfigServer, 11689, Text, 65, 1, 0, 19) \
    X(tlsMode, 11756, U8, 1, 1, 0, 186)              \
    X(gpsMode, 11757, U8, 1, 1, 0, 41)               \
    X(gpsInterval, 11758, U16, 2, 1, 0, 41)          \
    X(macAddress, 11760, Bytes, 6, 1, 0, 176)        \
    X(deviceModel, 11792, Text, 64, 1, 0, 178)       \
    X(firmwareVersion, 11856, Text, 64, 1, 0, 179)   \
    X(iccid, 11920, Text, 32, 1, 0, 176)             \
    X(imei, 11952, Text, 32, 1, 0, 176)              \
    X(signalQuality, 11984, U8, 1, 1, 0, 177)        \
    X(serverALinked, 11985, U8, 1, 1, 0, 177)        \
    X(serverBLinked, 11986, U8, 1, 1, 0, 177)        \
    X(mqttLinked, 11987, U8, 1, 1, 0, 177)           \
    X(httpLinked, 11988, U8, 1, 1, 0, 177)           \
    X(networkLinked, 11989, U8, 1, 1, 0, 177)        \
    X(versionByte, 11990, U8, 1, 1, 0, 179)          \
    X(userCodeVersion, 11991, U8, 1, 1, 0, 24)       \
    X(memUsed, 11992, U32, 4, 1, 0, 255)             \
    X(memTotal, 11996, U32, 4, 1, 0, 255)            \
    X(flashSize, 12000, U32, 4, 1, 0, 255)           \
    X(flashAddr, 12004, U32, 4, 1, 0, 255)           \
    X(deviceKind, 12008, U8, 1, 1, 0, 179)           \
    X(systemTick, 12012, U32, 4, 1, 0, 255)          \
    X(netBreakTime, 12016, U32, 4, 1, 0, 255)        \
    X(gpsSatellites, 12020, U8, 1, 1, 0, 183)        \
    X(gpsByte1, 12021, U8, 1, 1, 0, 183)             \
    X(gpsLatitudeDeg, 12022, U16, 2, 1, 0, 183)      \
    X(gpsLatitudeFrac, 12024, U32, 4, 1, 0, 183)     \
    X(gpsByte8, 12028, U8, 1, 1, 0, 183)             \
    X(gpsLongitudeDeg, 12030, U16, 2, 1, 0, 183)     \
    X(gpsLongitudeFrac, 12032, U32, 4, 1, 0, 183)    \
    X(cellLatitudeDeg, 12038, U16, 2, 1, 0, 183)     \
    X(cellLatitudeFrac, 12040, U32, 4, 1, 0, 183)    \
    X(cellLongitudeDeg, 12046, U16, 2, 1, 0, 183)    \
    X(cellLongitudeFrac, 12048, U32, 4, 1, 0, 183)   \
    X(remoteConfigCount, 12056, U16, 2, 1, 0, 184)   \
    X(remoteConfigTimeout, 12058, U16, 2, 1, 0, 184) \
    X(remoteConfigCurrentIp, 12060, Text, 65, 1, 0, 184) \
    X(certChunkAcked, 12126, U8, 1, 1, 0, 0)         \
    X(caPath, 12127, Text, 256, 1, 0, 0)             \
    X(clientCertPath, 12383, Text, 256, 1, 0, 0)     \
    X(clientKeyPath, 12639, Text, 256, 1, 0, 0)      \
    X(certBlob, 12895, Bytes, 8192, 1, 0, 0)         \
    X(certChecksums, 21088, U16, 2, 3, 2, 186)       \
    X(configLockFlag, 21096, U8, 1, 1, 0, 144)       \
    X(configLockPassword, 21097, Text, 8, 1, 0, 144) \
    X(cellId, 22132, U32, 4, 1, 0, 183)              \
    X(cellLac, 22136, U32, 4, 1, 0, 183)             \
    X(cellMcc, 22140, U32, 4, 1, 0, 183)             \
    X(cellMnc, 22144, U32, 4, 1, 0, 183)             \
    X(cellErrCode, 22148, U32, 4, 1, 0, 183)         \
    X(gpsBeidou, 22152, U32, 4, 1, 0, 183)           \
    X(cellLocationEnable, 22156, U8, 1, 1, 0, 41)

// One polling record. X(name, offset in the record, kind, size)
#define DTU_MODBUS_ITEM_FIELDS(X)     \
    X(slaveAddress, 0, U8, 1)         \
    X(functionCode, 1, U8, 1)         \
    X(startRegister, 2, U16, 2)       \
    X(registerCount, 4, U16, 2)       \
    X(dataType, 8, U8, 1)             \
    X(decimals, 9, U8, 1)             \
    X(jsonName, 10, Text, 58)         \
    X(scaleK, 68, U32, 4)             \
    X(offsetB, 72, U32, 4)            \
    X(threshold1, 76, I32, 4)         \
    X(threshold2, 80, I32, 4)         \
    X(emergencyData, 84, U8, 1)
