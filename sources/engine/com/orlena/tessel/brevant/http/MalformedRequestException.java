package com.orlena.tessel.brevant.http;

/** The connector's request text or head cannot be read as a request. */
public final class MalformedRequestException extends Exception {
    private static final long serialVersionUID = 1L;

    public MalformedRequestException(String message) {
        super(message);
    }
}
