package com.orlena.tessel.brevant;

/**
 * The natives the in-process connector exports. They resolve only after Brevant.Init has
 * System.load-ed the connector library: a VM looks up a class-path class's natives only in
 * libraries that class's loader loaded. Any thread may call them; a request handle is valid
 * only while the ProcessRequest call that received it runs.
 */
public final class ISAPINativeLib {
    private ISAPINativeLib() {
    }

    /** Sends the status (such as "200 OK") and the header lines, closed by an empty line. */
    public static native boolean writeHeaders(int handle, byte[] status, byte[] headers);

    /** Writes length bytes of data; 0 on success, otherwise an error code. */
    public static native byte writeClient(int handle, byte[] data, int length, boolean hasStatusLine);

    /** Reads exactly length body bytes, or answers null when the client's data ended. */
    public static native byte[] readClient(int handle, int length);

    /** Always 1: the connector cannot tell how much is waiting. */
    public static native int bytesAvailable(int handle);

    public static native void outputDebugString(byte[] message);

    /** The physical path of a virtual path, or null. */
    public static native String getRealPath(int handle, String virtualPath);

    /** Makes the connector's filter ask authIISRequest for every authenticated request. */
    public static native void enableIISSecurity();

    public static native void disableIISSecurity();

    /** The client-certificate descriptor, or null. */
    public static native String getClientCertificate(int handle);
}
