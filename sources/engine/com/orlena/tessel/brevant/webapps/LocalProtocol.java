package com.orlena.tessel.brevant.webapps;

import java.util.concurrent.Executor;
import java.util.concurrent.ScheduledExecutorService;
import org.apache.coyote.Adapter;
import org.apache.coyote.ProtocolHandler;
import org.apache.coyote.UpgradeProtocol;
import org.apache.tomcat.util.net.SSLHostConfig;

/**
 * The protocol under the container's Connector: it opens no socket and runs no thread.
 * Requests arrive through our connectors instead, on their threads; all this keeps is the
 * Adapter the Connector hands over at its start, so that CoyoteBridge can call it. Public
 * because the Connector reads its port by reflection.
 */
public final class LocalProtocol implements ProtocolHandler {
    private volatile Adapter adapter;
    private volatile Executor executor;
    private volatile ScheduledExecutorService utilityExecutor;

    @Override public Adapter getAdapter() { return adapter; }
    @Override public void setAdapter(Adapter adapter) { this.adapter = adapter; }
    @Override public Executor getExecutor() { return executor; }
    @Override public void setExecutor(Executor executor) { this.executor = executor; }
    @Override public ScheduledExecutorService getUtilityExecutor() { return utilityExecutor; }
    @Override public void setUtilityExecutor(ScheduledExecutorService utilityExecutor) {
        this.utilityExecutor = utilityExecutor;
    }

    /** Read by the Connector, which refuses to start on a negative port; 0 stands for "none". */
    public int getPort() { return 0; }
    public void setPort(int port) { }

    @Override public void init() { }
    @Override public void start() { }
    @Override public void pause() { }
    @Override public void resume() { }
    @Override public void stop() { }
    @Override public void destroy() { }
    @Override public void closeServerSocketGraceful() { }
    @Override public long awaitConnectionsClose(long waitMillis) { return waitMillis; }
    @Override public boolean isSendfileSupported() { return false; }
    @Override public void addSslHostConfig(SSLHostConfig sslHostConfig) { }
    @Override public void addSslHostConfig(SSLHostConfig sslHostConfig, boolean replace) { }
    @Override public SSLHostConfig[] findSslHostConfigs() { return new SSLHostConfig[0]; }
    @Override public void addUpgradeProtocol(UpgradeProtocol upgradeProtocol) { }
    @Override public UpgradeProtocol[] findUpgradeProtocols() { return new UpgradeProtocol[0]; }
}
