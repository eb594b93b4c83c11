package com.orlena.tessel.brevant.http;

/**
 * Where the request came from and where it arrived: the web server's view of the
 * connection, handed over by either connector. Immutable.
 */
public final class ConnectionInfo {
    private final String remoteAddr;
    private final String remoteHost;
    private final String serverName;
    private final int serverPort;
    private final String serverSoftware;
    private final boolean secure;

    public ConnectionInfo(String remoteAddr, String remoteHost, String serverName, int serverPort,
                          String serverSoftware, boolean secure) {
        this.remoteAddr = remoteAddr;
        this.remoteHost = remoteHost;
        this.serverName = serverName;
        this.serverPort = serverPort;
        this.serverSoftware = serverSoftware;
        this.secure = secure;
    }

    public String remoteAddr() { return remoteAddr; }
    public String remoteHost() { return remoteHost; }
    public String serverName() { return serverName; }
    public int serverPort() { return serverPort; }
    public String serverSoftware() { return serverSoftware; }
    public boolean secure() { return secure; }
}
