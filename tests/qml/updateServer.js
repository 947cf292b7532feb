// The update server of the application-update tests: the check answers with
// version 1.3.0 and an installer on the test server, 256 KiB served in pieces.
.pragma library

var checkPath = "/tarvo/pc/update/software"
var installerPath = "/files/app_setup.exe"

function installerBody() {
    var piece = "VeloranDeck-1.3.0-installer-bytes/"
    var body = ""
    while (body.length < 262144)
        body += piece
    return body.substring(0, 262144)
}

function offerUpdate(server, fileUrl) {
    server.route("POST", checkPath, 200, {
        code: 0,
        data: { upgradeFlag: 1, upgradeDate: { version: "1.3.0", fileUrl: fileUrl !== undefined ? fileUrl : server.url(installerPath) } }
    })
}

function serveInstaller(server, options) {
    var settings = options || { contentType: "application/octet-stream", chunkBytes: 32768, chunkPauseMs: 10 }
    server.route("GET", installerPath, 200, installerBody(), settings)
}

function readFile(path) {
    var request = new XMLHttpRequest()
    request.open("GET", "file://" + path, false)
    request.send()
    return request.status === 200 || request.status === 0 ? request.responseText : null
}
